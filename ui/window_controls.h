// The window's own small controls: the colour swatch, the up/down spinner
// and the masked date field.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QWidget>

#include "engine/conversion_options.h"

class QToolButton;

namespace zelvo {

QColor to_qcolor(ColorRef c);
ColorRef to_colorref(const QColor& c);

// A filled square with a thin border; a press of any mouse button while it
// is enabled reports pressed() (a disabled widget gets no mouse events).
// It takes the focus with Tab, and Space or Enter then press it.
class ColorSwatch : public QWidget {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent = nullptr);
    ColorRef color() const { return color_; }
    void set_color(ColorRef c);

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ColorRef color_ = 0;
};

// Two arrow buttons stacked. It keeps its own position within its range,
// which the window's field rules ignore; every arrow press is reported.
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(int position, int minimum, int maximum, QWidget* parent = nullptr);
    int position() const { return position_; }
    QToolButton* up_button() const { return up_; }
    QToolButton* down_button() const { return down_; }

signals:
    void stepped(int step);  // +1 up, -1 down

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int delta);
    QToolButton* up_;
    QToolButton* down_;
    int position_;
    int minimum_;
    int maximum_;
};

// A horizontal progress bar with its percentage written on it. Unlike
// QProgressBar, a new value only schedules a repaint: during a run the gauge
// is drawn when the message pump lets the window paint, not once per step.
class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int value() const { return value_; }
    void set_range(int minimum, int maximum);
    void set_value(int value);  // held within the range
    QString text() const;       // "37%"

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
};

// A date field with the mask dddd-dd-dd. A date left incomplete by the user
// is refused when the field loses the focus: invalid_input() is reported
// and the focus goes back. Escape restores the text it had on entry.
class DateMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DateMaskEdit(QWidget* parent = nullptr);
    bool is_complete() const;

signals:
    void invalid_input();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString text_on_entry_;
    bool refusing_ = false;
};

}  // namespace zelvo
