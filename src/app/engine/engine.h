#pragma once

// The whole engine API in one include.
#include "app/engine/alias_registry.h"
#include "app/engine/data_source.h"
#include "app/engine/database.h"
#include "app/engine/engine_error.h"
#include "app/engine/field.h"
#include "app/engine/login_prompt.h"
#include "app/engine/query.h"
#include "app/engine/row_scan.h"
#include "app/engine/session.h"
#include "app/engine/table.h"
#include "app/engine/table_model.h"
