# Precompiled headers: the Qt and GoogleTest headers nearly every file of a target includes are
# parsed once per target instead of once per file, which is most of a clean build's parsing.
# scripts/test.sh turns them on for its one compile; the everyday build leaves them off, where
# ccache does better.
option(PELLDRAKE_PCH "Precompile the common Qt and GoogleTest headers of each target" OFF)

# pelldrake_precompile(TARGET [WIDGETS] [TESTS])
function(pelldrake_precompile target)
  if(NOT PELLDRAKE_PCH)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 use "WIDGETS;TESTS" "" "")
  set(headers <QByteArray> <QHash> <QList> <QObject> <QString> <QStringList> <QVariant>
              <QSqlDatabase> <QSqlQuery> <functional> <memory> <optional> <vector>)
  if(use_WIDGETS)
    list(APPEND headers <QApplication> <QComboBox> <QLineEdit> <QWidget>)
  endif()
  if(use_TESTS)
    list(APPEND headers <gtest/gtest.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
