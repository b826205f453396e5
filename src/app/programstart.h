// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The program from its start to its main window on screen.

#include "app/appservices.h"

#include <memory>

class TMainForm;

/// At a first start (no settings file) the setup dialog comes first and writes the settings
/// file; then the main window is created, its windows created and shown. nullptr when the setup
/// was cancelled: the program ends, and the next start asks again.
std::unique_ptr<TMainForm> startProgram(const AppServices& services);
