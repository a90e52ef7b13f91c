#include "MyTableView.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

void DropHighlight::paint(QWidget* widget, const QRect& rect)
{
    QPainter painter(widget);
    QPen pen(QColor(128, 128, 128));
    pen.setWidth(kWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // A pen is centred on its path: inset by half the width so all of it is inside the rectangle.
    const qreal inset = kWidth / 2.0;
    painter.drawRect(QRectF(rect).adjusted(inset, inset, -inset, -inset));
}

namespace
{
/// Paints the highlight over the table and its headers; transparent to the mouse.
class ShadowOverlay : public QWidget
{
public:
    explicit ShadowOverlay(MyTableView* table)
        : QWidget(table)
        , m_table(table)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_table->hasShadow())
            DropHighlight::paint(this, rect());
    }

private:
    MyTableView* m_table;
};
} // namespace

MyTableView::MyTableView(QWidget* parent)
    : QTableView(parent)
    , m_overlay(new ShadowOverlay(this))
{
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int logical) { Q_EMIT headerClicked(logical, QApplication::keyboardModifiers()); });
}

void MyTableView::setHasShadow(bool shadow)
{
    m_hasShadow = shadow;
    m_overlay->setGeometry(rect());
    m_overlay->setVisible(shadow);
    if (shadow)
        m_overlay->raise();
    m_overlay->update();
    update();
}

void MyTableView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    m_overlay->setGeometry(rect());
}

void MyTableView::keyPressEvent(QKeyEvent* event)
{
    if (state() != EditingState) {
        switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                event->ignore();
                return;
            }
            break;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

dragDropArea::dragDropArea(QWidget* parent)
    : QWidget(parent)
{
}

void dragDropArea::setHasShadow(bool shadow)
{
    m_hasShadow = shadow;
    update();
}

void dragDropArea::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_hasShadow)
        DropHighlight::paint(this, rect());
}
