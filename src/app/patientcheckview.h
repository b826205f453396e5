#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

/// The patient check tab: the first two pages side by side, each stretched over its half of
/// the tab without keeping the aspect ratio.
class PatientCheckView : public QWidget {
    Q_OBJECT
public:
    explicit PatientCheckView(QWidget* parent = nullptr);

    QLabel* leftArea() const { return m_left; }
    QLabel* rightArea() const { return m_right; }

    void showLeft(const QImage& image);
    void showRight(const QImage& image);
    void setRightVisible(bool visible);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_left;
    QLabel* m_right;
};
