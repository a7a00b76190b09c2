// TForm5: the update notice.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm5;
}

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TForm5> ui;
    bool m_shownBefore = false;
};

extern TForm5 *Form5;
