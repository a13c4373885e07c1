#include "app/MyButton.h"

MyButton::MyButton(QWidget *parent)
    : QToolButton(parent)
{
    setCheckable(true);
    setMouseTracking(true);
    setIconSize(QSize(32, 32));
}

void MyButton::enterEvent(QEvent *event)
{
    QToolButton::enterEvent(event);
    emit ChangePixmap();
}

void MyButton::leaveEvent(QEvent *event)
{
    QToolButton::leaveEvent(event);
    emit OnUpdatePixmap();
}
