#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractButton;

/// A grid of toggle buttons: the first cells (row by row) are tagged 1, 2, ... and carry the
/// given titles; the remaining positions are blank and disabled. A click toggles its cell; when
/// it would leave no cell on, the clicked cell turns on again, so at least one stays chosen.
///
/// Each button's accessible name is its title and its accessible description its tooltip.
class buttonMatrix : public QWidget
{
    Q_OBJECT
public:
    buttonMatrix(int rows, int columns, const QStringList& titles, const QStringList& tooltips,
                 QWidget* parent = nullptr);

    int cellCount() const { return int(m_cells.size()); }
    /// Whether the cell tagged @p tag is on (false for a tag outside 1..cellCount()).
    bool isOn(int tag) const { return m_cells.value(tag - 1); }
    /// Cell states by tag order (index = tag - 1).
    const QList<bool>& cells() const { return m_cells; }
    /// Sets every cell; missing entries turn off. Emits nothing.
    void setCells(const QList<bool>& cells);
    /// The button of the cell tagged @p tag, or null.
    QAbstractButton* cellWithTag(int tag) const { return m_buttons.value(tag - 1); }
    int rows() const { return m_rows; }
    int columns() const { return m_columns; }
    /// The widget at a grid position: a cell's button or a blank placeholder.
    QWidget* widgetAt(int row, int column) const;

Q_SIGNALS:
    /// The user clicked the cell tagged @p tag; cells() already holds the result.
    void cellToggled(int tag);

private:
    void clicked(int index);
    void sync();

    int m_rows;
    int m_columns;
    QList<bool> m_cells;
    QList<QAbstractButton*> m_buttons;
    QList<QWidget*> m_grid;
};

/// 3 x 3 grid of the weekdays "Mon" ... "Sun", tagged 1-7.
class weekMatrix : public buttonMatrix
{
    Q_OBJECT
public:
    explicit weekMatrix(QWidget* parent = nullptr);
};

/// 6 x 7 grid of the days 1-31, tagged with the day, in a 12-point font; the rest blank and borderless.
class monthMatrix : public buttonMatrix
{
    Q_OBJECT
public:
    explicit monthMatrix(QWidget* parent = nullptr);
};

/// The months "Jan" ... "Dec" (with "Sept"), tagged 1-12, in three rows of four.
class yearMatrix : public buttonMatrix
{
    Q_OBJECT
public:
    explicit yearMatrix(QWidget* parent = nullptr);
};
