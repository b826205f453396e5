#include "app/patientcheckview.h"

#include <QLabel>
#include <QPixmap>
#include <QResizeEvent>

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
      m_right(makeArea(this, QStringLiteral("Image2"))) {}

void PatientCheckView::showLeft(const QImage& image) {
    m_left->setPixmap(QPixmap::fromImage(image));
}

void PatientCheckView::showRight(const QImage& image) {
    m_right->setPixmap(QPixmap::fromImage(image));
}

void PatientCheckView::setRightVisible(bool visible) {
    m_right->setVisible(visible);
}

void PatientCheckView::resizeEvent(QResizeEvent* event) {
    const int w = event->size().width();
    const int h = event->size().height();
    const int half = w / 2;
    m_left->setGeometry(1, 1, half - 2, h - 2);
    m_right->setGeometry(half + 1, 1, half - 2, h - 2);
    QWidget::resizeEvent(event);
}
