// TForm4: the first-run prompt that offers the settings dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm4;
}

class TForm4 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);
    ~TForm4() override;

    void FormShow();
    void Button1Click(); // "Ja "
    void Button2Click(); // "Nein"

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TForm4> ui;
};

extern TForm4 *Form4;
