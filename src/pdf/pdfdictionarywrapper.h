// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdf/pdftypes.h"

/// Base of the classes that edit one dictionary owned by the cross-reference table (catalog,
/// information, fonts, outline entries). The wrapper never owns the dictionary.
class TPdfDictionaryWrapper {
public:
    TPdfDictionaryWrapper() = default;
    virtual ~TPdfDictionaryWrapper() = default;
    TPdfDictionaryWrapper(const TPdfDictionaryWrapper&) = delete;
    TPdfDictionaryWrapper& operator=(const TPdfDictionaryWrapper&) = delete;

    /// Attaches the dictionary that the wrapper edits.
    virtual void SetData(TPdfDictionary* data) { m_data = data; }
    TPdfDictionary* Data() const { return m_data; }
    bool HasData() const { return m_data != nullptr; }

private:
    TPdfDictionary* m_data = nullptr;
};
