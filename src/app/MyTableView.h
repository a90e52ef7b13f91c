#pragma once

#include <QTableView>
#include <QWidget>

/// The grey frame, 5 points wide, drawn around a drop target while an acceptable file is dragged
/// over the window.
namespace DropHighlight
{
constexpr int kWidth = 5;
/// Strokes the frame just inside @p rect.
void paint(QWidget* widget, const QRect& rect);
} // namespace DropHighlight

/// The entry table. hasShadow() shows the drop highlight around the whole table, headers
/// included; setHasShadow() stores it and redraws.
///
/// Delete and Backspace pass to the window (they delete entries there, MyWindow), as does Return
/// outside an edit.
class MyTableView : public QTableView
{
    Q_OBJECT
public:
    explicit MyTableView(QWidget* parent = nullptr);

    bool hasShadow() const { return m_hasShadow; }
    void setHasShadow(bool shadow);

Q_SIGNALS:
    /// The user clicked a column header (with the keyboard modifiers held then).
    void headerClicked(int logicalColumn, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool m_hasShadow = false;
    QWidget* m_overlay;
};

/// A plain drop target with the same highlight.
class dragDropArea : public QWidget
{
    Q_OBJECT
public:
    explicit dragDropArea(QWidget* parent = nullptr);

    bool hasShadow() const { return m_hasShadow; }
    void setHasShadow(bool shadow);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_hasShadow = false;
};
