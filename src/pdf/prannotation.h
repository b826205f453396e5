// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdf/preport.h"

#include <string>
#include <vector>

/// A text note on the page: its lines become the `Contents` of a `Text` annotation placed at
/// the item's rectangle.
class TPRAnnotation : public TPRItem {
public:
    /// The caption starts as the component name.
    explicit TPRAnnotation(std::string name = {}) : TPRItem(name), m_caption(std::move(name)) {}
    const char* ClassName() const override { return "TPRAnnotation"; }

    const std::string& Caption() const { return m_caption; }
    void SetCaption(std::string value) { m_caption = std::move(value); }
    const std::vector<std::string>& Lines() const { return m_lines; }
    void SetLines(std::vector<std::string> lines) { m_lines = std::move(lines); }
    bool Opened() const { return m_opened; }
    void SetOpened(bool value) { m_opened = value; }

    void Print(TPRCanvas& canvas, const TPRRect& rect) override;

    /// The lines joined as the annotation text: trimmed of blanks and control bytes at both
    /// ends, one CR between lines.
    static std::string JoinLines(const std::vector<std::string>& lines);

private:
    std::string m_caption;
    std::vector<std::string> m_lines;
    bool m_opened = false;
};
