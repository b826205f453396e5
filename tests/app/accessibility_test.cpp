// SPDX-License-Identifier: GPL-3.0-or-later
// Every input of the main window and of every dialog it creates has a name a screen reader can
// say: a buddy label or an accessible name of its own.

#include "app/tmainform.h"
#include "imaging/scan/scansourcedialog.h"
#include "index/chartindexschema.h"
#include "settings/firststartdialog.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

bool isInput(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QAbstractButton*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
           (qobject_cast<const QAbstractSlider*>(widget) &&
            !qobject_cast<const QScrollBar*>(widget));
}

/// Parts of a compound control (a combo box's line edit, a spin box's editor, a view's header)
/// and Qt's own widgets are named through the control that holds them.
bool isPartOfAnother(const QWidget* widget) {
    if (widget->objectName().startsWith(QLatin1String("qt_"))) {
        return true;
    }
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
        if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
            qobject_cast<const QAbstractItemView*>(up) ||
            up->objectName().startsWith(QLatin1String("qt_"))) {
            return true;
        }
    }
    return false;
}

QString describe(const QWidget* widget) {
    QStringList path;
    for (const QWidget* up = widget; up; up = up->parentWidget()) {
        path.prepend(up->objectName().isEmpty() ? QString::fromLatin1(up->metaObject()->className())
                                                : up->objectName());
    }
    return path.join(u'/');
}

/// The inputs below \p root, also in windows it owns, that a screen reader cannot name.
QStringList unnamedInputs(QWidget* root) {
    QStringList unnamed;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!isInput(widget) || isPartOfAnother(widget)) {
            continue;
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
            unnamed << describe(widget);
        }
    }
    return unnamed;
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void everyInputOfEveryWindowHasAName() {
        QTemporaryDir folder;
        QString error;
        QVERIFY2(chartindex::createEmptyIndex(folder.filePath(chartindex::fileName), &error),
                 qPrintable(error));
        FakePrompts prompts;
        FakeUrlOpener opener;
        const auto form = startMainWindow({folder.path(), {}, &prompts, &opener});

        // The main window's children include every window it created once at start; the
        // setup dialog of a first start comes before it.
        // The scanner's dialogs are made when used; the options dialog names its fields through
        // its form layout.
        FirstStartDialog setup;
        ScanSourceDialog scanners({}, {});
        QStringList unnamed =
            unnamedInputs(form.get()) + unnamedInputs(&setup) + unnamedInputs(&scanners);
        unnamed.removeDuplicates();
        for (const QString& input : unnamed) {
            qWarning("without a name: %s", qPrintable(input));
        }
        QVERIFY2(unnamed.isEmpty(), "inputs without an accessible name, listed above");
        // The two boxes of every save, by name.
        QCOMPARE(QAccessible::queryAccessibleInterface(form->idEdit())->text(QAccessible::Name),
                 QStringLiteral("患者番号"));
        QCOMPARE(QAccessible::queryAccessibleInterface(form->volNoEdit())->text(QAccessible::Name),
                 QStringLiteral("連番"));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
