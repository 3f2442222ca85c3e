// Form1: the export sequence panel (List5 and its four buttons).
#include <QListWidget>
#include <QScrollBar>
#include <charconv>

#include "form1.h"

namespace pixhaul::viewer {
namespace {

constexpr std::string_view kEntryPrefix = "Image #";

}  // namespace

std::string SequenceEntryText(std::int32_t imageIndex) {
    return std::string(kEntryPrefix) + std::to_string(static_cast<std::int64_t>(imageIndex) + 1);
}

std::int32_t SequenceEntryImage(const std::string& text) {
    if (text.size() <= kEntryPrefix.size() || text.compare(0, kEntryPrefix.size(), kEntryPrefix)) {
        return -1;
    }
    std::int32_t number = 0;
    const char* first = text.data() + kEntryPrefix.size();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last || number < 1) return -1;
    return number - 1;
}

void Form1::Command5_Click() {
    list5_->addItem(QString::fromStdString(SequenceEntryText(hScroll1_->value())));
    list5_->setCurrentRow(list5_->count() - 1);
    UpdateExportStates();
}

void Form1::Command6_Click() {
    const int selected = list5_->currentRow();
    if (selected < 0) return;
    delete list5_->takeItem(selected);
    UpdateExportStates();
}

void Form1::Command7_Click() {
    const int i = list5_->currentRow();
    if (i <= 0) return;
    const QString above = list5_->item(i - 1)->text();
    list5_->item(i - 1)->setText(list5_->item(i)->text());
    list5_->item(i)->setText(above);
    list5_->setCurrentRow(i - 1);
}

void Form1::Command8_Click() {
    const int i = list5_->currentRow();
    if (i < 0 || i >= list5_->count() - 1) return;
    const QString below = list5_->item(i + 1)->text();
    list5_->item(i + 1)->setText(list5_->item(i)->text());
    list5_->item(i)->setText(below);
    list5_->setCurrentRow(i + 1);
}

std::vector<std::int32_t> Form1::SequenceImages() const {
    std::vector<std::int32_t> images;
    images.reserve(static_cast<std::size_t>(list5_->count()));
    for (int i = 0; i < list5_->count(); ++i) {
        const std::int32_t image = SequenceEntryImage(list5_->item(i)->text().toStdString());
        if (image >= 0) images.push_back(image);
    }
    return images;
}

}  // namespace pixhaul::viewer
