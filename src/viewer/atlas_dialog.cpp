// The Qt dialogs behind ExportChoosers: a form of the atlas or frames options with a folder.
#include "atlas_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace pixhaul::viewer {

namespace {

// A line edit for the folder with a Browse... button beside it.
QLineEdit* AddFolderRow(QDialog& dialog, QFormLayout& form, const std::string& folder) {
    auto* row = new QWidget(&dialog);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* edit = new QLineEdit(QString::fromStdString(folder), row);
    auto* browse = new QPushButton("Browse...", row);
    layout->addWidget(edit);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, edit] {
        const QString chosen =
            QFileDialog::getExistingDirectory(&dialog, "Export to folder", edit->text());
        if (!chosen.isEmpty()) edit->setText(chosen);
    });
    form.addRow("Folder:", row);
    return edit;
}

QSpinBox* AddSpin(QDialog& dialog, QFormLayout& form, const char* label, int low, int high,
                  int value) {
    auto* spin = new QSpinBox(&dialog);
    spin->setRange(low, high);
    spin->setValue(value);
    form.addRow(label, spin);
    return spin;
}

QCheckBox* AddCheck(QDialog& dialog, QFormLayout& form, const char* label, bool checked) {
    auto* box = new QCheckBox(label, &dialog);
    box->setChecked(checked);
    form.addRow(box);
    return box;
}

// OK and Cancel under the form; true when the user pressed OK.
bool Run(QDialog& dialog, QFormLayout& form) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form.addRow(buttons);
    return dialog.exec() == QDialog::Accepted;
}

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

bool AskAtlas(QWidget* owner, AtlasChoice& choice) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Export Atlas");
    auto* form = new QFormLayout(&dialog);
    QLineEdit* folder = AddFolderRow(dialog, *form, choice.Folder);
    auto* name = new QLineEdit(QString::fromStdString(choice.Name), &dialog);
    name->setPlaceholderText("automatic");
    form->addRow("Name:", name);
    auto* data = new QComboBox(&dialog);
    data->addItems({"JSON (Phaser, PixiJS)", "Godot SpriteFrames", "libGDX atlas"});
    data->setCurrentIndex(static_cast<int>(choice.Request.Data));
    form->addRow("Data:", data);
    AtlasLayoutOptions& layout = choice.Request.Layout;
    QCheckBox* trim =
        AddCheck(dialog, *form, "Trim frames to their visible pixels", choice.Request.Trim);
    QSpinBox* padding = AddSpin(dialog, *form, "Padding:", 0, kMaxAtlasSpacing, layout.padding);
    QSpinBox* extrude = AddSpin(dialog, *form, "Extrude:", 0, kMaxAtlasSpacing, layout.extrude);
    QCheckBox* pot = AddCheck(dialog, *form, "Power-of-two page sides", layout.powerOfTwo);
    // 0: one page, however large.
    QSpinBox* maxWidth =
        AddSpin(dialog, *form, "Largest page width (0: no limit):", 0, 1 << 30, layout.maxWidth);
    QSpinBox* maxHeight =
        AddSpin(dialog, *form, "Largest page height (0: no limit):", 0, 1 << 30, layout.maxHeight);
    QSpinBox* fps = AddSpin(dialog, *form, "Frames a second:", 1, kMaxAtlasFps, choice.Request.Fps);
    QCheckBox* duplicates = AddCheck(dialog, *form, "Keep duplicate frames", layout.keepDuplicates);
    if (!Run(dialog, *form)) return false;
    choice.Folder = WithoutTrailingSlash(folder->text().toStdString());
    choice.Name = name->text().toStdString();
    choice.Request.Data = static_cast<AtlasDataFormat>(data->currentIndex());
    choice.Request.Trim = trim->isChecked();
    layout.padding = padding->value();
    layout.extrude = extrude->value();
    layout.powerOfTwo = pot->isChecked();
    // A limit on one side only is no limit the layout understands: both or neither.
    const bool limited = maxWidth->value() > 0 && maxHeight->value() > 0;
    layout.maxWidth = limited ? maxWidth->value() : 0;
    layout.maxHeight = limited ? maxHeight->value() : 0;
    choice.Request.Fps = fps->value();
    layout.keepDuplicates = duplicates->isChecked();
    return true;
}

bool AskFrames(QWidget* owner, FramesChoice& choice) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Export Frames");
    auto* form = new QFormLayout(&dialog);
    QLineEdit* folder = AddFolderRow(dialog, *form, choice.Folder);
    auto* pattern = new QLineEdit(QString::fromStdString(choice.Request.Pattern), &dialog);
    pattern->setToolTip(
        "Fields: {object} {action} {direction} {frame} {image}; {frame:03} pads "
        "with zeros");
    form->addRow("File names:", pattern);
    auto* format = new QComboBox(&dialog);
    format->addItems({"PNG with transparency", "BMP"});
    format->setCurrentIndex(choice.Request.Bmp ? 1 : 0);
    form->addRow("Format:", format);
    QCheckBox* trim =
        AddCheck(dialog, *form, "Trim frames to their visible pixels", choice.Request.Trim);
    if (!Run(dialog, *form)) return false;
    choice.Folder = WithoutTrailingSlash(folder->text().toStdString());
    choice.Request.Pattern = pattern->text().toStdString();
    choice.Request.Bmp = format->currentIndex() == 1;
    choice.Request.Trim = trim->isChecked();
    return true;
}

}  // namespace

ExportChoosers::ExportChoosers() : Atlas(AskAtlas), Frames(AskFrames) {}

}  // namespace pixhaul::viewer
