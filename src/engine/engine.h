#pragma once

// The whole engine API in one include.
#include "engine/alias_registry.h"
#include "engine/data_source.h"
#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/login_prompt.h"
#include "engine/query.h"
#include "engine/row_scan.h"
#include "engine/session.h"
#include "engine/table.h"
#include "engine/table_model.h"
