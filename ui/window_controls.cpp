#include "ui/window_controls.h"

#include <algorithm>

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QRegularExpression>
#include <QToolButton>

namespace zelvo {

QColor to_qcolor(ColorRef c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

ColorRef to_colorref(const QColor& c) {
    return static_cast<ColorRef>(c.red()) | (static_cast<ColorRef>(c.green()) << 8) |
           (static_cast<ColorRef>(c.blue()) << 16);
}

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ColorSwatch::set_color(ColorRef c) {
    if (c == color_) return;
    color_ = c;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(to_qcolor(color_));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        // A dotted square inside, in whichever of black and white stands out.
        p.setPen(QPen(qGray(to_qcolor(color_).rgb()) < 128 ? Qt::white : Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void ColorSwatch::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (isEnabled()) emit pressed();
}

void ColorSwatch::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Select:
            event->accept();
            if (isEnabled()) emit pressed();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

UpDown::UpDown(int position, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), position_(position), minimum_(minimum), maximum_(maximum) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(6, 4));
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::resizeEvent(QResizeEvent*) {
    int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

void UpDown::step(int delta) {
    position_ = std::clamp(position_ + delta, minimum_, maximum_);
    emit stepped(delta);
}

Gauge::Gauge(QWidget* parent) : QWidget(parent) {}

void Gauge::set_range(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    set_value(value_);
}

void Gauge::set_value(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == value_) return;
    value_ = value;
    update();
}

QString Gauge::text() const {
    int span = maximum_ - minimum_;
    int percent = span == 0 ? 100 : (value_ - minimum_) * 100 / span;
    return QString::number(percent) + QLatin1Char('%');
}

void Gauge::paintEvent(QPaintEvent*) {
    QStyleOptionProgressBar opt;
    opt.initFrom(this);
    opt.minimum = minimum_;
    opt.maximum = maximum_;
    opt.progress = value_;
    opt.text = text();
    opt.textVisible = true;
    opt.textAlignment = Qt::AlignCenter;
    opt.state |= QStyle::State_Horizontal;
    QPainter p(this);
    style()->drawControl(QStyle::CE_ProgressBar, &opt, &p, this);
}

DateMaskEdit::DateMaskEdit(QWidget* parent) : QLineEdit(parent) {
    setInputMask(QStringLiteral("0000-00-00;_"));
    setMaxLength(10);
}

bool DateMaskEdit::is_complete() const {
    static const QRegularExpression date(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    return date.match(text()).hasMatch();
}

void DateMaskEdit::focusInEvent(QFocusEvent* event) {
    if (!refusing_) text_on_entry_ = text();
    QLineEdit::focusInEvent(event);
}

void DateMaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Only what the user typed is checked; a text set by the program (a
    // loaded setting) is taken as it is.
    // Switching to another window or opening a popup is not leaving the field.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (refusing_ || !isModified() || is_complete() || !isEnabled()) return;
    refusing_ = true;
    emit invalid_input();
    setFocus(Qt::OtherFocusReason);
    refusing_ = false;
}

void DateMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && isModified()) {
        setText(text_on_entry_);
        setModified(false);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace zelvo
