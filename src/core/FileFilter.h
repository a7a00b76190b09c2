// Windows dialog filter strings ("Text|*.a;*.b|...") as Qt name filters.
#pragma once

#include <QString>
#include <QStringList>

// Each pair becomes "description (patterns)"; the dialog hides the pattern part, so the user
// sees the description as it stands. "*.*" means every file, as on Windows.
QStringList qtNameFilters(const QString &windowsFilter);
