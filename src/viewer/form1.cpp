// Form1: creation of the controls and menus, layout, keys and the window's own events.
#include "form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>

#include "archive/archive.h"
#include "picture_box.h"
#include "sequence_icons.h"
#include "twips.h"

namespace pixhaul::viewer {
namespace {

struct ListLayout {
    const char* labelName;
    const char* labelText;
    const char* listName;
    int labelTop;
    int listTop;
};

constexpr std::array<ListLayout, 4> kLists{{
    {"Label3", "Recognized objects:", "List1", 0, 240},
    {"Label4", "Actions:", "List2", 720, 960},
    {"Label5", "Directions:", "List3", 1440, 1680},
    {"Label6", "Frames:", "List4", 2160, 2400},
}};

constexpr std::array<const char*, 8> kOptionCaptions{
    "Load Thumnails && Icons",
    "Auto Filenames",
    "Seperate file for each object",
    "Generate lookup table (DAT)",
    "Remove duplicate frames from sequences",
    "Detect and remove \"mirror image\" frames",
    "Optomize frame layout",
    "Cache rendered images",
};
// Items 1, 2, 5 and 6 are kept in the menu array but never shown or enabled.
constexpr std::array<bool, 8> kOptionShown{true, false, false, true, true, false, false, true};

constexpr std::array<const char*, 8> kModeCaptions{
    "All Thumbnails && Icons", "All Objects",    "Selected Object", "Selected Action",
    "Selected Direction",      "Selected Frame", "Displayed Image", "From List...",
};
constexpr std::array<bool, 8> kModeShown{false, true, true, true, true, false, true, true};

constexpr int kListWidth = 2415;
constexpr int kListHeight = 315;
constexpr int kListFrameHeight = 4500;
constexpr int kPanelHeight = 1650;
constexpr int kButtonSize = 615;

// The frame a window manager adds around the window, as the layout counts it (in twips). The
// real frame is only known once the window is decorated; a fixed allowance gives a window of
// one size one layout, from its first showing on.
constexpr int kFrameAllowanceWidth = 240;
constexpr int kFrameAllowanceHeight = 690;

}  // namespace

std::string ZoomLabel(double zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "Zoom: %.1fx", zoom);
    return text;
}

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    settings_.Zoom = 1.0;
    settings_.TransColor = 0xFF00FF;
    settings_.ExportMode = 1;
    settings_.ExportFolder = QDir::currentPath().toLocal8Bit().toStdString();
    if (settings_.ExportFolder.empty() || settings_.ExportFolder.back() != '/') {
        settings_.ExportFolder += '/';
    }

    BuildControls();
    BuildMenus();
    InstallKeyFilter();
    setAcceptDrops(true);
    setWindowTitle(kStartCaption);
    setMinimumSize(Px(kMinWidthTwips), Px(kMinHeightTwips));
    resize(Px(kMinWidthTwips), Px(kMinHeightTwips));
    ResetArchive(model_, *this);
    Form_Resize();
}

Form1::~Form1() {
    // The controls outlive the members their handlers use: let none of them call back.
    for (QObject* control : findChildren<QObject*>())
        QObject::disconnect(control, nullptr, this, nullptr);
}

int Form1::Px(int twips) const {
    return TwipsToPixels(twips, logicalDpiX());
}

void Form1::BuildControls() {
    client_ = new QWidget(this);
    setCentralWidget(client_);

    hScroll1_ = new QScrollBar(Qt::Horizontal, client_);
    hScroll1_->setObjectName("HScroll1");
    hScroll1_->setRange(0, 0);
    hScroll1_->setSingleStep(1);
    hScroll1_->setPageStep(1);
    connect(hScroll1_, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });

    picture1_ = new PictureBox(client_);
    picture1_->setObjectName("Picture1");
    picture1_->setToolTip(" Drag & Drop QXA files here to load them ");
    picture1_->SetBackColor(settings_.TransColor);
    picture1_->onFileDropped = [this](const std::string& path) { return Picture1_Drop(path); };

    line1_ = new QFrame(client_);
    line1_->setObjectName("Line1");
    line1_->setFrameShape(QFrame::VLine);
    line1_->setFrameShadow(QFrame::Sunken);

    listFrame_ = new QWidget(client_);
    listFrame_->setObjectName("ListFrame");
    listFrame_->setGeometry(Px(6360), Px(120), Px(kListWidth), Px(kListFrameHeight));
    std::array<QComboBox**, 4> lists{&list1_, &list2_, &list3_, &list4_};
    for (std::size_t i = 0; i < kLists.size(); ++i) {
        auto* label = new QLabel(kLists[i].labelText, listFrame_);
        label->setObjectName(kLists[i].labelName);
        label->setGeometry(0, Px(kLists[i].labelTop), Px(kListWidth),
                           Px(kLists[i].listTop - kLists[i].labelTop));
        listLabels_[i] = label;
        auto* list = new QComboBox(listFrame_);
        list->setObjectName(kLists[i].listName);
        list->setGeometry(0, Px(kLists[i].listTop), Px(kListWidth), Px(kListHeight));
        *lists[i] = list;
    }
    connect(list1_, &QComboBox::currentIndexChanged, this, [this] { List1_Click(); });
    connect(list2_, &QComboBox::currentIndexChanged, this, [this] { List2_Click(); });
    connect(list3_, &QComboBox::currentIndexChanged, this, [this] { List3_Click(); });
    connect(list4_, &QComboBox::currentIndexChanged, this, [this] { List4_Click(); });

    picture3_ = new QWidget(listFrame_);
    picture3_->setObjectName("Picture3");
    picture3_->setGeometry(0, Px(2760), Px(kListWidth), Px(kPanelHeight));
    picture3_->hide();
    struct ButtonLayout {
        QToolButton** button;
        const char* name;
        const char* tip;
        SequenceIcon icon;
        int left;
    };
    const std::array<ButtonLayout, 4> buttons{{
        {&command5_, "Command5", " Add displayed image to list ", SequenceIcon::Add, 0},
        {&command7_, "Command7", " Move selected frame up in sequence ", SequenceIcon::MoveUp, 600},
        {&command8_, "Command8", " Move selected frame down in sequence ", SequenceIcon::MoveDown,
         1200},
        {&command6_, "Command6", " Remove selected frame from sequence ", SequenceIcon::Remove,
         1800},
    }};
    for (const ButtonLayout& layout : buttons) {
        auto* button = new QToolButton(picture3_);
        button->setObjectName(layout.name);
        button->setToolTip(layout.tip);
        button->setGeometry(Px(layout.left), 0, Px(kButtonSize), Px(kButtonSize));
        const int iconSize = Px(kButtonSize) * 2 / 3;
        button->setIcon(MakeSequenceIcon(layout.icon, iconSize));
        button->setIconSize(QSize(iconSize, iconSize));
        *layout.button = button;
    }
    connect(command5_, &QToolButton::clicked, this, [this] { Command5_Click(); });
    connect(command6_, &QToolButton::clicked, this, [this] { Command6_Click(); });
    connect(command7_, &QToolButton::clicked, this, [this] { Command7_Click(); });
    connect(command8_, &QToolButton::clicked, this, [this] { Command8_Click(); });
    list5_ = new QListWidget(picture3_);
    list5_->setObjectName("List5");
    list5_->setGeometry(0, Px(600), Px(kListWidth), Px(1035));

    // Label1 (counters, zoom), the progress of long work with its Cancel button (and Esc) and
    // Label2 sit in the status line.
    label1_ = new QLabel(kNoImagesLoaded, this);
    label1_->setObjectName("Label1");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("Progress");
    progress_->setMaximumWidth(Px(2400));
    progress_->hide();
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setObjectName("Cancel");
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, [this] { RequestCancel(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { RequestCancel(); });
    label2_ = new QLabel(kMaximizedText, this);
    label2_->setObjectName("Label2");
    label2_->hide();
    infoLine_ = new QLabel(this);
    infoLine_->setObjectName("InfoLine");
    exportNote_ = new QLabel(this);
    exportNote_->setObjectName("ExportNote");
    exportNote_->hide();
    playButton_ = new QToolButton(this);
    playButton_->setObjectName("PlayButton");
    playButton_->setCheckable(true);
    playButton_->setText("Play");
    playButton_->setToolTip(" Play the chosen direction's frames (Space) ");
    fpsBox_ = new QSpinBox(this);
    fpsBox_->setObjectName("PlaybackFps");
    fpsBox_->setRange(kMinPlaybackFps, kMaxPlaybackFps);
    fpsBox_->setValue(kDefaultPlaybackFps);
    fpsBox_->setSuffix(" fps");
    fpsBox_->setToolTip(" Playback rate, frames per second ");
    playTimer_ = new QTimer(this);
    playTimer_->setObjectName("PlaybackTimer");
    connect(playTimer_, &QTimer::timeout, this, [this] { PlaybackTick(); });
    connect(playButton_, &QToolButton::clicked, this, [this](bool on) { SetPlaying(on); });
    connect(fpsBox_, &QSpinBox::valueChanged, this,
            [this](int fps) { playTimer_->setInterval(1000 / fps); });
    statusBar()->addWidget(label1_, 1);
    statusBar()->addWidget(infoLine_, 1);
    statusBar()->addPermanentWidget(exportNote_);
    statusBar()->addPermanentWidget(playButton_);
    statusBar()->addPermanentWidget(fpsBox_);
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(cancel_);
    statusBar()->addPermanentWidget(label2_);
    statusBar()->setSizeGripEnabled(false);
}

QAction* Form1::AddItem(QMenu* menu, const char* name, const char* caption) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    return action;
}

void Form1::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("mnuFile");
    mnuLoad_ = AddItem(file, "mnuLoad", "&Load QXA");
    mnuUnload_ = AddItem(file, "mnuUnload", "&Unload QXA");
    mnuRecent_ = file->addMenu("&Recent Files");
    mnuRecent_->setObjectName("mnuRecent");
    RebuildRecentMenu();
    file->addSeparator();
    mnuExit_ = AddItem(file, "mnuExit", "E&xit");
    mnuLoad_->setShortcut(QKeySequence::Open);
    mnuExit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(mnuLoad_, &QAction::triggered, this, [this] { mnuLoad_Click(); });
    connect(mnuUnload_, &QAction::triggered, this, [this] { mnuUnload_Click(); });
    connect(mnuExit_, &QAction::triggered, this, [this] { close(); });

    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("mnuView");
    mnuTransparent_ = AddItem(view, "mnuTransparent", "Set Transparent Color...");
    mnuZoomIn_ = AddItem(view, "mnuZoomIn", "Zoom In (+0.5x)");
    mnuZoomOut_ = AddItem(view, "mnuZoomOut", "Zoom Out (-0.5x)");
    connect(mnuTransparent_, &QAction::triggered, this, [this] { mnuTransparent_Click(); });
    connect(mnuZoomIn_, &QAction::triggered, this, [this] { Form_KeyUp(kKeypadPlus); });
    connect(mnuZoomOut_, &QAction::triggered, this, [this] { Form_KeyUp(kKeypadMinus); });
    mnuZoomIn_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence::ZoomIn});
    mnuZoomOut_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    mnuZoomReset_ = AddItem(view, "mnuZoomReset", "Actual Size (1x)");
    mnuZoomReset_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(mnuZoomReset_, &QAction::triggered, this, [this] { SetZoom(1.0); });
    mnuZoomFit_ = AddItem(view, "mnuZoomFit", "&Fit");
    connect(mnuZoomFit_, &QAction::triggered, this, [this] { FitZoom(); });
    view->addSeparator();
    mnuCheckerboard_ = AddItem(view, "mnuCheckerboard", "&Checkerboard Behind Transparent Pixels");
    mnuCheckerboard_->setCheckable(true);
    connect(mnuCheckerboard_, &QAction::toggled, this,
            [this](bool on) { picture1_->SetCheckerboard(on); });

    // Browsing keys; they work whichever control has the focus.
    QMenu* go = menuBar()->addMenu("&Go");
    go->setObjectName("mnuGo");
    struct Step {
        const char* name;
        const char* caption;
        QKeySequence key;
        int images;
        int frames;
    };
    const std::array<Step, 8> steps{{
        {"mnuPrevImage", "&Previous Image", QKeySequence(Qt::Key_Left), -1, 0},
        {"mnuNextImage", "&Next Image", QKeySequence(Qt::Key_Right), 1, 0},
        {"mnuBack10", "Back 10 Images", QKeySequence(Qt::Key_PageUp), -kPageStep, 0},
        {"mnuForward10", "Forward 10 Images", QKeySequence(Qt::Key_PageDown), kPageStep, 0},
        {"mnuFirstImage", "&First Image", QKeySequence(Qt::Key_Home), INT32_MIN / 2, 0},
        {"mnuLastImage", "&Last Image", QKeySequence(Qt::Key_End), INT32_MAX / 2, 0},
        {"mnuPrevFrame", "Previous Frame", QKeySequence(Qt::Key_Up), 0, -1},
        {"mnuNextFrame", "Next Frame", QKeySequence(Qt::Key_Down), 0, 1},
    }};
    for (const Step& step : steps) {
        QAction* item = AddItem(go, step.name, step.caption);
        item->setShortcut(step.key);
        const int images = step.images;
        const int frames = step.frames;
        connect(item, &QAction::triggered, this, [this, images, frames] {
            if (frames != 0) {
                StepFrame(frames);
            } else {
                StepImage(images);
            }
        });
    }
    go->addSeparator();
    mnuPlay_ = AddItem(go, "mnuPlay", "Play/&Pause");
    mnuPlay_->setShortcut(QKeySequence(Qt::Key_Space));
    connect(mnuPlay_, &QAction::triggered, this, [this] { SetPlaying(!IsPlaying()); });

    QMenu* options = menuBar()->addMenu("&Options");
    options->setObjectName("mnuOptions");
    for (int i = 0; i < 8; ++i) {
        const std::string name = "mnuOpt_" + std::to_string(i);
        QAction* item = AddItem(options, name.c_str(), kOptionCaptions[i]);
        item->setCheckable(true);
        item->setChecked(OptionCheckedAtStart(static_cast<Option>(i)));
        item->setVisible(kOptionShown[i]);
        item->setEnabled(kOptionShown[i]);
        item->setProperty(kItemEnabledProperty, kOptionShown[i]);
        // Qt has already inverted the Checked state when triggered arrives.
        connect(item, &QAction::triggered, this, [this, i] { mnuOpt_Click(i); });
        mnuOpt_[i] = item;
    }

    QMenu* exportMenu = menuBar()->addMenu("E&xport");
    exportMenu->setObjectName("mnuExport");
    mnuExpNow_ = AddItem(exportMenu, "mnuExpNow", "E&xport now");
    mnuExpNow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportMenu, &QMenu::aboutToShow, this, [this] { UpdateExportStates(); });
    mnuExpAs_ = AddItem(exportMenu, "mnuExpAs", "Export &As...");
    mnuExpTo_ = AddItem(exportMenu, "mnuExpTo", "Export &To...");
    exportMenu->addSeparator();
    mnuToSIF_ = AddItem(exportMenu, "mnuToSIF", "Export to SIF... (Beta)");
    connect(AddItem(exportMenu, "mnuExpAnim", "Export A&nimation..."), &QAction::triggered, this,
            [this] { mnuExpAnim_Click(); });
    connect(AddItem(exportMenu, "mnuExpAtlas", "Export At&las..."), &QAction::triggered, this,
            [this] { mnuExpAtlas_Click(); });
    connect(AddItem(exportMenu, "mnuExpFrames", "Export &Frames..."), &QAction::triggered, this,
            [this] { mnuExpFrames_Click(); });
    connect(AddItem(exportMenu, "mnuExpImages", "Export Every &Image..."), &QAction::triggered,
            this, [this] { mnuExpImages_Click(); });
    exportMenu->addSeparator();
    connect(mnuExpNow_, &QAction::triggered, this, [this] { mnuExpNow_Click(); });
    connect(mnuExpAs_, &QAction::triggered, this, [this] { mnuExpAs_Click(); });
    connect(mnuExpTo_, &QAction::triggered, this, [this] { mnuExpTo_Click(); });
    connect(mnuToSIF_, &QAction::triggered, this, [this] { mnuToSIF_Click(); });
    for (int i = 0; i < 8; ++i) {
        const std::string name = "mnuExportMode_" + std::to_string(i);
        QAction* item = AddItem(exportMenu, name.c_str(), kModeCaptions[i]);
        item->setCheckable(true);
        item->setChecked(i == settings_.ExportMode);
        item->setVisible(kModeShown[i]);
        item->setEnabled(kModeShown[i]);
        item->setProperty(kItemEnabledProperty, kModeShown[i]);
        connect(item, &QAction::triggered, this, [this, i] { mnuExportMode_Click(i); });
        mnuExportMode_[i] = item;
    }

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("mnuHelp");
    QAction* about = AddItem(help, "mnuAbout", "&About Pixhaul");
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
}

bool Form1::event(QEvent* event) {
    // A modal box opened from a scroll-bar arrow's step (a corrupt image) takes the button's
    // release, and the arrow's repeat would run on under it, one step and one box per image.
    // Let go of the arrow when a box opens, and once more after it closed in case the scroll
    // bar armed its repeat after the step. Without a press the scroll bar ignores a release.
    const auto releaseScrollBar = [this] {
        const QPointF inside(1, 1);
        QMouseEvent release(QEvent::MouseButtonRelease, inside, hScroll1_->mapToGlobal(inside),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(hScroll1_, &release);
    };
    if (event->type() == QEvent::WindowBlocked) releaseScrollBar();
    if (event->type() == QEvent::WindowUnblocked) QTimer::singleShot(0, this, releaseScrollBar);
    return QMainWindow::event(event);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy_ && !FirstLocalFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const std::string path = FirstLocalFile(event->mimeData());
    if (!path.empty() && Picture1_Drop(path)) event->acceptProposedAction();
}

void Form1::InstallKeyFilter() {
    // Keys go to whichever control has the focus; the window sees them all first.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if ((wheel->modifiers() & Qt::ControlModifier) && wheel->angleDelta().y() != 0) {
            Form_KeyUp(wheel->angleDelta().y() > 0 ? kKeypadPlus : kKeypadMinus);
            return true;
        }
    }
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && (key->modifiers() & Qt::KeypadModifier)) {
            if (key->key() == Qt::Key_Plus) {
                Form_KeyUp(kKeypadPlus);
                return true;
            }
            if (key->key() == Qt::Key_Minus) {
                Form_KeyUp(kKeypadMinus);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::Form_KeyUp(int KeyCode) {
    if (KeyCode != kKeypadPlus && KeyCode != kKeypadMinus) return;
    SetZoom(settings_.Zoom + (KeyCode == kKeypadPlus ? kZoomStep : -kZoomStep));
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void Form1::Form_Resize() {
    if (isMinimized()) return;
    label2_->setVisible(isMaximized());

    const int dpi = logicalDpiX();
    int W = PixelsToTwips(width(), dpi) + kFrameAllowanceWidth;
    int H = PixelsToTwips(height(), dpi) + kFrameAllowanceHeight;
    if (W < kMinWidthTwips || H < kMinHeightTwips) {
        W = std::max(W, kMinWidthTwips);
        H = std::max(H, kMinHeightTwips);
        resize(Px(W - kFrameAllowanceWidth), Px(H - kFrameAllowanceHeight));
    }

    listFrame_->move(Px(W - 2670), listFrame_->y());
    // Picture1 keeps to the client area, whatever the menu bar and status line take.
    const int clientHeight = client_->height();
    const int pictureTop = Px(480);
    const int pictureHeight = std::clamp(Px(H - 1275), 0, std::max(0, clientHeight - pictureTop));
    hScroll1_->setGeometry(Px(120), Px(120), Px(W - 3045), Px(255));
    picture1_->setGeometry(Px(120), pictureTop, Px(W - 3045), pictureHeight);
    const int lineBottom = std::clamp(Px(H - 800), Px(120), std::max(Px(120), clientHeight));
    line1_->setGeometry(Px(W - 2790) - 1, Px(120), 3, lineBottom - Px(120));
    picture3_->move(list4_->x(), list4_->y() + list4_->height() + Px(20));
    HScroll1_Change();
}

void Form1::closeEvent(QCloseEvent* event) {
    if (busy_) {
        // The running load or export uses the model; the window goes when it ends.
        closePending_ = true;
        event->ignore();
        return;
    }
    SetPlaying(false);
    ResetArchive(model_, *this);
    event->accept();
}

}  // namespace pixhaul::viewer
