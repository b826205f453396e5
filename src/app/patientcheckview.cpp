// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/patientcheckview.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QResizeEvent>
#include <algorithm>

namespace {

QLabel* makeArea(QWidget* parent, const QString& name) {
    auto* area = new QLabel(parent);
    area->setObjectName(name);
    area->setScaledContents(true); // stretched to the area, aspect ratio not kept
    area->setBackgroundRole(QPalette::Base);
    area->setAutoFillBackground(true);
    return area;
}

} // namespace

PatientCheckView::PatientCheckView(QWidget* parent)
    : QWidget(parent), m_left(makeArea(this, QStringLiteral("Image1"))),
      m_right(makeArea(this, QStringLiteral("Image2"))), m_notice(new QLabel(this)) {
    m_notice->setObjectName(QStringLiteral("CropNotice"));
    m_notice->setText(QStringLiteral("切り取り保存：枠の内側だけが保存されます。ページ全体は保存設"
                                     "定のストレッチで保存できます。"));
    m_notice->setWordWrap(true);
    m_notice->setAutoFillBackground(true);
    m_notice->setStyleSheet(
        QStringLiteral("QLabel { background: #fff3c4; color: #5a3a00; padding: 4px; }"));
    m_notice->setVisible(false);
}

void PatientCheckView::showLeft(const QImage& image, const std::optional<QRectF>& kept) {
    showPage(0, image, kept);
}

void PatientCheckView::showRight(const QImage& image, const std::optional<QRectF>& kept) {
    showPage(1, image, kept);
}

void PatientCheckView::showPage(int side, const QImage& image, const std::optional<QRectF>& kept) {
    m_kept[side] = kept;
    QLabel* area = side == 0 ? m_left : m_right;
    if (!kept || image.isNull()) {
        area->setPixmap(QPixmap::fromImage(image));
        updateNotice();
        return;
    }
    QImage marked = image.convertToFormat(QImage::Format_RGB32);
    const QRectF keptPixels(kept->x() * marked.width(), kept->y() * marked.height(),
                            kept->width() * marked.width(), kept->height() * marked.height());
    QPainter painter(&marked);
    QPainterPath outside;
    outside.addRect(QRectF(marked.rect()));
    QPainterPath inside;
    inside.addRect(keptPixels);
    painter.fillPath(outside.subtracted(inside), QColor(0, 0, 0, 110));
    const qreal pen = std::max<qreal>(2.0, marked.width() / 150.0);
    painter.setPen(QPen(QColor(220, 30, 30), pen));
    painter.drawRect(keptPixels.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2));
    painter.end();
    area->setPixmap(QPixmap::fromImage(marked));
    updateNotice();
}

void PatientCheckView::updateNotice() {
    const bool rightShown = !m_right->isHidden();
    m_notice->setVisible(m_kept[0].has_value() || (rightShown && m_kept[1].has_value()));
    m_notice->raise();
}

void PatientCheckView::setRightVisible(bool visible) {
    m_right->setVisible(visible);
    updateNotice();
}

void PatientCheckView::resizeEvent(QResizeEvent* event) {
    const int w = event->size().width();
    const int h = event->size().height();
    const int half = w / 2;
    m_left->setGeometry(1, 1, half - 2, h - 2);
    m_right->setGeometry(half + 1, 1, half - 2, h - 2);
    m_notice->setGeometry(8, h - 8 - 48, w - 16, 48);
    QWidget::resizeEvent(event);
}
