// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Hands a file or web address to the desktop's default application. Tests use a recorder.

#include <QUrl>

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl& url) = 0;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};
