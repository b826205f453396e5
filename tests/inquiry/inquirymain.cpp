// SPDX-License-Identifier: GPL-3.0-or-later
#include "serverenvironment.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv); // windows, and the SQL drivers are plugins
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
    return RUN_ALL_TESTS();
}
