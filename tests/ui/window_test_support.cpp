#include "window_test_support.h"

#include <fstream>
#include <sstream>

namespace zelvo::test {

namespace {

template <class T>
std::optional<T> take(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> v;
    v.swap(queue.front());
    queue.pop_front();
    return v;
}

}  // namespace

std::optional<QString> ScriptedDialogs::open_file(QWidget*, const QString& title,
                                                  const QString& directory, const QString& filter) {
    calls.push_back({"open", title, directory, {}, filter});
    return take(files);
}

std::optional<QString> ScriptedDialogs::save_file(QWidget*, const QString& title,
                                                  const QString& directory,
                                                  const QString& file_name, const QString& filter) {
    calls.push_back({"save", title, directory, file_name, filter});
    return take(files);
}

std::optional<ColorRef> ScriptedDialogs::choose_color(QWidget*, ColorRef initial) {
    calls.push_back({"color", {}, QString::number(initial), {}, {}});
    return take(colors);
}

void ScriptedDialogs::information_with_details(QWidget*, const QString& caption, const QString& text,
                                               const QString& details) {
    calls.push_back({"information", caption, text, {}, {}});
    last_details = details;
}

void ScriptedDialogs::information(QWidget*, const QString& caption, const QString& text) {
    calls.push_back({"information", caption, text, {}, {}});
}

void ScriptedDialogs::warning(QWidget*, const QString& caption, const QString& text) {
    calls.push_back({"warning", caption, text, {}, {}});
}

void ScriptedDialogs::error(QWidget*, const QString& caption, const QString& text) {
    calls.push_back({"error", caption, text, {}, {}});
}

bool ScriptedDialogs::ask_yes_no(QWidget*, const QString& caption, const QString& text) {
    calls.push_back({"ask", caption, text, {}, {}});
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

FileFailureAction ScriptedDialogs::abort_retry_ignore(QWidget*, const QString& caption, const QString& text) {
    calls.push_back({"file failure", caption, text, {}, {}});
    if (file_answers.empty()) return FileFailureAction::Abort;
    FileFailureAction a = file_answers.front();
    file_answers.pop_front();
    return a;
}

int ScriptedDialogs::count(const QString& kind) const {
    int n = 0;
    for (const auto& c : calls) n += c.kind == kind;
    return n;
}

const DialogCall* ScriptedDialogs::last(const QString& kind) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->kind == kind) return &*it;
    return nullptr;
}

std::string Scratch::write(const std::string& name, const std::string& content) const {
    std::string p = path() + name;
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

std::string Scratch::read(const std::string& name) const {
    const std::string p = name.front() == '/' ? name : path() + name;
    return std::filesystem::exists(p) ? read_file(p) : std::string();
}

}  // namespace zelvo::test
