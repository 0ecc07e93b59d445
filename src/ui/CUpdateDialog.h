#pragma once

#include <QDialog>

class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;
class QRect;
class QString;

// The look the three dialogs share: a borderless 640 x 455 window over a fixed picture, with
// widgets placed at fixed positions. A dialog calls beginForm(), creates its widgets in tab
// order with the add*() helpers, sets its texts and then calls endForm().
class CUpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CUpdateDialog(QWidget *parent = nullptr);
    ~CUpdateDialog() override;

protected:
    // Names the dialog after its form unless it already has a name, and gives it its size.
    void beginForm(const QString &formName);
    // Makes the window borderless once the form is complete.
    void endForm();

    QPushButton *addButton(const char *name, const QRect &geometry);
    // A pointSize of 0 keeps the dialog's font.
    QLabel *addLabel(const char *name, const QRect &geometry, int pointSize = 0);
    // A line for a text that may be too long for it, such as a message naming a path.
    ElidedLabel *addElidedLabel(const char *name, const QRect &geometry);
    // A thin bar that shows only the filled share, without a percentage.
    QProgressBar *addProgressBar(const char *name, const QRect &geometry);

    // Paints the background picture at (0, 0) at its natural size; never scaled to the window.
    void paintEvent(QPaintEvent *event) override;
};
