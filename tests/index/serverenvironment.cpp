// SPDX-License-Identifier: GPL-3.0-or-later
#include "serverenvironment.h"

#include <iostream>

void ServerEnvironment::SetUp() {
    s_server = PrivateServer::start(&s_reason);
    if (!s_server) {
        std::cout << "PostgreSQL cases will be skipped: " << s_reason.toStdString() << std::endl;
    }
}

void ServerEnvironment::TearDown() {
    s_server.reset();
}

void BackendTest::SetUp() {
    PELORA_SKIP_WITHOUT_SERVER(GetParam());
    m_testbed = std::make_unique<IndexTestbed>(GetParam(), ServerEnvironment::server());
    ASSERT_TRUE(m_testbed->problem().isEmpty()) << m_testbed->problem().toStdString();
}

void BackendTest::createIndex() {
    QString error;
    ASSERT_TRUE(m_testbed->create(&error)) << error.toStdString();
}
