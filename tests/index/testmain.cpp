// SPDX-License-Identifier: GPL-3.0-or-later
#include "serverenvironment.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the SQL drivers are plugins
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
    return RUN_ALL_TESTS();
}
