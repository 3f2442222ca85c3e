#include "comm_dlgs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <cctype>

namespace pixhaul::viewer {
namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}
std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::string DefaultFileDialog(QWidget* Owner, int Mode, const std::string& Title,
                              const std::string& InitialFile, const std::string& Filter,
                              const std::string& InitialDir, const std::string& DefaultExt,
                              bool ConfirmOverwrite) {
    QFileDialog dialog(Owner, FromLocal(Title), FromLocal(InitialDir));
    dialog.setNameFilter(FromLocal(QtNameFilter(Filter)));
    dialog.setDefaultSuffix(FromLocal(DefaultExt));
    if (Mode == kOpenMode) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        // Qt's save dialog asks before overwriting unless told otherwise.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !ConfirmOverwrite);
    }
    // A wildcard as the initial name only repeats the filter; a real name is offered as is.
    if (!InitialFile.empty() && InitialFile.find('*') == std::string::npos) {
        dialog.selectFile(FromLocal(InitialFile));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
    return ToLocal(dialog.selectedFiles().front());
}

std::string DefaultBrowseFolder(QWidget* Owner, const std::string& Title,
                                const std::string& InitialDir) {
    QString folder =
        QFileDialog::getExistingDirectory(Owner, FromLocal(Title), FromLocal(InitialDir));
    while (folder.size() > 1 && folder.endsWith('/')) folder.chop(1);
    return ToLocal(folder);
}

std::optional<COLORREF> DefaultPickColor(QWidget* Owner, COLORREF current) {
    const QColor chosen =
        QColorDialog::getColor(QColor(RedOf(current), GreenOf(current), BlueOf(current)), Owner);
    if (!chosen.isValid()) return std::nullopt;
    return MakeColorRef(static_cast<std::uint8_t>(chosen.red()),
                        static_cast<std::uint8_t>(chosen.green()),
                        static_cast<std::uint8_t>(chosen.blue()));
}

MessageResult DefaultMessageBox(QWidget* Owner, const std::string& text, const std::string& title,
                                MessageIcon icon, MessageButtons buttons,
                                const std::string& details) {
    QMessageBox box(Owner);
    box.setWindowTitle(QString::fromUtf8(title));
    box.setText(QString::fromUtf8(text).replace("\r\n", "\n"));
    if (!details.empty()) box.setDetailedText(QString::fromUtf8(details));
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageResult::Ok;
}

MessageResult DefaultAskReplace(QWidget* Owner, const std::string& text, bool allowDontAsk,
                                bool* dontAskAgain) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Replace files?"),
                    QString::fromUtf8(text).replace("\r\n", "\n"),
                    QMessageBox::Yes | QMessageBox::No, Owner);
    box.setDefaultButton(QMessageBox::No);
    QCheckBox* dontAsk = nullptr;
    if (allowDontAsk) {
        dontAsk = new QCheckBox(QStringLiteral("Don't ask again until Pixhaul closes"), &box);
        box.setCheckBox(dontAsk);
    }
    const bool yes = box.exec() == QMessageBox::Yes;
    if (dontAskAgain != nullptr) *dontAskAgain = yes && dontAsk != nullptr && dontAsk->isChecked();
    return yes ? MessageResult::Yes : MessageResult::No;
}

}  // namespace

std::string MakeFilter(const std::string& description, const std::string& pattern) {
    std::string filter = description;
    filter.push_back('\0');
    filter += pattern;
    return filter;
}

std::string QtNameFilter(const std::string& filter) {
    const auto nul = filter.find('\0');
    if (nul == std::string::npos) return filter;
    const std::string description = filter.substr(0, nul);
    const std::string pattern = filter.substr(nul + 1);
    // File names on Linux are case-sensitive; offer the upper-case spelling too.
    std::string upper = pattern;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string patterns = pattern;
    if (upper != pattern) patterns += " " + upper;
    return description + " (" + patterns + ")";
}

CommDlgs::CommDlgs()
    : FileDialog([this](QWidget* Owner, int Mode, const std::string& Title,
                        const std::string& InitialFile, const std::string& Filter,
                        const std::string& InitialDir, const std::string& DefaultExt) {
          return DefaultFileDialog(Owner, Mode, Title, InitialFile, Filter, InitialDir, DefaultExt,
                                   ConfirmOverwrite);
      }),
      BrowseFolder(DefaultBrowseFolder),
      PickColor(DefaultPickColor),
      MessageBox(DefaultMessageBox),
      AskReplace(DefaultAskReplace) {}

}  // namespace pixhaul::viewer
