// TForm3: the About dialog.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm3;
}

class TForm3 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);
    ~TForm3() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TForm3> ui;
    bool m_shownBefore = false;
};

extern TForm3 *Form3;
