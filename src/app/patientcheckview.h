// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>
#include <optional>

class QLabel;

/// The patient check tab: the first two pages side by side, each stretched over its half of
/// the tab without keeping the aspect ratio.
class PatientCheckView : public QWidget {
    Q_OBJECT
public:
    explicit PatientCheckView(QWidget* parent = nullptr);

    QLabel* leftArea() const { return m_left; }
    QLabel* rightArea() const { return m_right; }

    /// Shows \p image; \p kept, in fractions of the image, is marked as the part a cropped
    /// save keeps (the rest is shaded), and a notice says so.
    void showLeft(const QImage& image, const std::optional<QRectF>& kept = std::nullopt);
    void showRight(const QImage& image, const std::optional<QRectF>& kept = std::nullopt);
    void setRightVisible(bool visible);

    /// The marked part of the left (0) or right (1) page, if any.
    std::optional<QRectF> keptArea(int side) const { return m_kept[side == 0 ? 0 : 1]; }
    QLabel* cropNotice() const { return m_notice; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPage(int side, const QImage& image, const std::optional<QRectF>& kept);
    void updateNotice();

    QLabel* m_left;
    QLabel* m_right;
    QLabel* m_notice;
    std::optional<QRectF> m_kept[2];
};
