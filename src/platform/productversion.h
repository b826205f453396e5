// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The version of the package, the project's version in CMakeLists.txt: what every program
/// prints for --version, the product information window shows and the Debian package carries.
QString productVersion();
