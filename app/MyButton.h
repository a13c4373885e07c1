#pragma once
// A checkable image button of the category toolbar; tells when the pointer enters and leaves.
#include <QToolButton>

class MyButton : public QToolButton
{
    Q_OBJECT
public:
    explicit MyButton(QWidget *parent = nullptr);

signals:
    void OnUpdatePixmap(); // the pointer left
    void ChangePixmap();   // the pointer entered

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
