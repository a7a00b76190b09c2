// TForm5: the update notice, shown when a newer version has been published.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm5;
}
class TURL;

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;

    // Label1's message, as plain text. The window widens for a long line, up to the screen's
    // width; beyond that the line is cut with an ellipsis.
    void setMessage(const QString &message);
    QString message() const;

    void Button1Click(); // "Website besuchen"
    void Button2Click(); // "Schliessen"

    TURL *URL1;

    // The message cut anew for the screen the notice stands on now.
    Q_INVOKABLE void fitToScreen();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void keepOnScreen();

    std::unique_ptr<Ui::TForm5> ui;
    QSize m_baseSize;
    QString m_message;
    bool m_shownBefore = false;
};

extern TForm5 *Form5;
