// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The index tests' private PostgreSQL server, started once for the test executable, and the
/// fixture that runs a test once per backend.

#include "indextestbed.h"
#include "privateserver.h"

#include <gtest/gtest.h>
#include <memory>

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    /// The running server, or nullptr (reason() says why).
    static PrivateServer* server() { return s_server.get(); }
    static const QString& reason() { return s_reason; }

private:
    static inline std::unique_ptr<PrivateServer> s_server;
    static inline QString s_reason;
};

/// A fresh testbed for the backend of the test's parameter; PostgreSQL cases are skipped, with
/// the reason, when the server could not be started.
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    /// Creates the empty index.
    void createIndex();

    std::unique_ptr<IndexTestbed> m_testbed;
};

inline std::string backendParamName(const ::testing::TestParamInfo<Backend>& info) {
    return backendName(info.param);
}

#define PELORA_SKIP_WITHOUT_SERVER(backend)                                                        \
    if ((backend) == Backend::Postgres && !ServerEnvironment::server()) {                          \
        GTEST_SKIP() << "no PostgreSQL server: " << ServerEnvironment::reason().toStdString();     \
    }
