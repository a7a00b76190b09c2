// TForm2: the settings dialog for the interpreter's path.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TForm2;
}
class QFileDialog;

class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    void FormShow();
    void Button1Click(); // "OK": store and apply
    void Button2Click(); // "...": browse
    void Button3Click(); // "Abbrechen"

    QFileDialog *OpenDialog1();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TForm2> ui;
    QFileDialog *m_openDialog = nullptr;
    bool m_shownBefore = false;
};

extern TForm2 *Form2;
