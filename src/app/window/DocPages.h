#pragma once
// The documentation pages shipped with the program, as files a browser can open.
#include <QString>

namespace parvelle {

// Copies the named page (and its sibling pages, for the links between them) from the
// program's resources into the per-user data folder and returns the page's file path.
// Empty when the folder cannot be written.
QString DocumentationPage(const QString& fileName);

} // namespace parvelle
