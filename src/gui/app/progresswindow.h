#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace keldor {

// The small progress window of the restart wait and the LAN connection: a text and a bar.
class ProgressWindow : public QDialog {
    Q_OBJECT

public:
    explicit ProgressWindow(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    QProgressBar *progressBar() const { return m_progressBar; }

private:
    QLabel *m_label = nullptr;
    QProgressBar *m_progressBar = nullptr;
};

} // namespace keldor
