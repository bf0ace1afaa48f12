#include "ui/window_dialogs.h"

#include <algorithm>

#include <QColorDialog>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

#include "ui/window_controls.h"

namespace zelvo {

namespace {

void message_box(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                 const QString& text, const QString& details = QString()) {
    make_message_box(parent, icon, caption, text, details)->exec();
}

std::optional<QString> run_file_dialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

// Keeps a box wholly on its screen when it shows and when it grows ("Show
// Details..."): centred on a window near the screen's edge it would
// otherwise hang off it.
class KeepOnScreen : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show && event->type() != QEvent::Resize) return false;
        auto* widget = static_cast<QWidget*>(watched);
        const QScreen* screen = widget->screen();
        if (!screen) return false;
        const QRect room = screen->availableGeometry();
        const QRect frame = widget->frameGeometry();
        const QPoint at(std::clamp(frame.x(), room.left(), std::max(room.left(), room.right() + 1 - frame.width())),
                        std::clamp(frame.y(), room.top(), std::max(room.top(), room.bottom() + 1 - frame.height())));
        if (at != frame.topLeft()) widget->move(at);
        return false;
    }
};

}  // namespace

std::unique_ptr<QMessageBox> make_message_box(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                              const QString& text, const QString& details) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, QMessageBox::NoButton, parent);
    box->addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
    if (!details.isEmpty()) {
        box->setDetailedText(details);
        // The details are aligned columns: a fixed-width face, no wrapping.
        // It is as large as its lines, so that they show without
        // scrolling, as far as the screen leaves room around it for the
        // icon, the message and the buttons.
        if (auto* area = box->findChild<QTextEdit*>()) {
            area->setFont(QFont(QStringLiteral("Liberation Mono"), 9));
            area->setLineWrapMode(QTextEdit::NoWrap);
            // The document, laid out in the area's font, knows its size; a
            // line more keeps the last one clear of the frame.
            const QSize content = area->document()->size().toSize() + QSize(2, 2) * (area->frameWidth() + 1) +
                                  QSize(0, area->fontMetrics().lineSpacing());
            const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
            const QSize room = screen ? screen->availableGeometry().size() : QSize(800, 600);
            area->setFixedSize(std::min(content.width(), room.width() - 140),
                               std::min(content.height(), room.height() - 240));
        }
    }
    box->installEventFilter(new KeepOnScreen(box.get()));
    return box;
}

std::optional<QString> QtWindowDialogs::open_file(QWidget* parent, const QString& title,
                                                  const QString& directory, const QString& filter) {
    QFileDialog dialog(parent, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run_file_dialog(dialog);
}

std::optional<QString> QtWindowDialogs::save_file(QWidget* parent, const QString& title,
                                                  const QString& directory,
                                                  const QString& file_name, const QString& filter) {
    QFileDialog dialog(parent, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString());  // a name without extension stays so
    if (!file_name.isEmpty()) dialog.selectFile(file_name);
    return run_file_dialog(dialog);
}

std::optional<ColorRef> QtWindowDialogs::choose_color(QWidget* parent, ColorRef initial) {
    QColor chosen = QColorDialog::getColor(to_qcolor(initial), parent);
    if (!chosen.isValid()) return std::nullopt;
    return to_colorref(chosen);
}

void QtWindowDialogs::information(QWidget* parent, const QString& caption, const QString& text) {
    message_box(parent, QMessageBox::Information, caption, text);
}

void QtWindowDialogs::information_with_details(QWidget* parent, const QString& caption, const QString& text,
                                               const QString& details) {
    message_box(parent, QMessageBox::Information, caption, text, details);
}

void QtWindowDialogs::warning(QWidget* parent, const QString& caption, const QString& text) {
    message_box(parent, QMessageBox::Warning, caption, text);
}

void QtWindowDialogs::error(QWidget* parent, const QString& caption, const QString& text) {
    message_box(parent, QMessageBox::Critical, caption, text);
}

bool QtWindowDialogs::ask_yes_no(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
    box.addButton(QObject::tr("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

FileFailureAction QtWindowDialogs::abort_retry_ignore(QWidget* parent, const QString& caption,
                                                      const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    QPushButton* abort = box.addButton(QObject::tr("Abort"), QMessageBox::RejectRole);
    QPushButton* retry = box.addButton(QObject::tr("Retry"), QMessageBox::AcceptRole);
    QPushButton* ignore = box.addButton(QObject::tr("Ignore"), QMessageBox::DestructiveRole);
    box.setDefaultButton(abort);
    box.setEscapeButton(abort);
    box.exec();
    if (box.clickedButton() == retry) return FileFailureAction::Retry;
    if (box.clickedButton() == ignore) return FileFailureAction::Ignore;
    return FileFailureAction::Abort;
}

}  // namespace zelvo
