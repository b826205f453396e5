// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The exceptions of the PDF writer. Messages are fixed English texts; callers show them as they
/// are. Internal bugs are assertions, not exceptions.

#include <stdexcept>
#include <string>

/// Base of every error the PDF writer raises on purpose.
class EPdfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A bad argument: a value out of range, a missing object, an unknown name.
class EPdfInvalidValue : public EPdfError {
public:
    using EPdfError::EPdfError;
};

/// An operation called in the wrong state (no document, no page, wrong object kind).
class EPdfInvalidOperation : public EPdfError {
public:
    using EPdfError::EPdfError;
};

/// A picture that cannot become an image XObject.
class EPdfInvalidImageFormat : public EPdfError {
public:
    using EPdfError::EPdfError;
};
