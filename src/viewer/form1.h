#pragma once
// Form1: the program's one window. Browses the loaded archive (four lists, the scroll bar and
// the frame display), holds the view settings, the Options and Export menus and the export
// sequence panel, and is the host that core reports to and asks through.
#include <QMainWindow>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/model.h"
#include "atlas_dialog.h"
#include "comm_dlgs.h"
#include "platform/host.h"

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTimer;
class QToolButton;

namespace pixhaul::viewer {

class PictureBox;

inline constexpr const char* kStartCaption = "Pixhaul sprite image extractor v1.6";
inline constexpr const char* kNoImagesLoaded = "No images loaded";
inline constexpr const char* kMaximizedText = "Hey, nice monitor ya got there!";

// Key codes of Form_KeyUp: the numeric keypad's plus and minus.
inline constexpr int kKeypadPlus = 107;
inline constexpr int kKeypadMinus = 109;
inline constexpr double kZoomStep = 0.5;
inline constexpr double kMinZoom = 0.5;
inline constexpr double kMaxZoom = 10.0;

// Playback rates, in frames per second.
inline constexpr int kDefaultPlaybackFps = 10;
inline constexpr int kMinPlaybackFps = 1;
inline constexpr int kMaxPlaybackFps = 60;
// How many archives File > Recent files remembers.
inline constexpr int kRecentFileCount = 8;
// How far PgUp and PgDn step through the images.
inline constexpr int kPageStep = 10;

// Property of a menu item holding its Enabled state, also while the item is hidden.
inline constexpr const char* kItemEnabledProperty = "itemEnabled";

// The smallest outer size of the window, in twips.
inline constexpr int kMinWidthTwips = 9000;
inline constexpr int kMinHeightTwips = 5200;

// How often Yield really lets the window process events while long work runs.
inline constexpr std::chrono::milliseconds kPumpInterval{30};

// Counters of the display's work, for tests and diagnostics.
struct DisplayStats {
    std::int64_t decodes = 0;       // Render calls made by ShowImage
    std::int64_t paletteReads = 0;  // ReadBlockPalette calls made by ShowImage
};

// "Zoom: 1.5x"
std::string ZoomLabel(double zoom);
// "Image #12" for image index 11.
std::string SequenceEntryText(std::int32_t imageIndex);
// The image index an export-sequence entry names, or -1 when the text is not an entry.
std::int32_t SequenceEntryImage(const std::string& text);

class Form1 : public QMainWindow, public Host {
  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Host.
    void SetCaption(const std::string& text) override;
    void SetLabel(const std::string& text) override;
    using Host::ShowMessage;
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons, const std::string& details) override;
    bool IsOptionChecked(Option option) override;
    void Yield() override;
    void ImageLoaded(std::int64_t number, std::int64_t total) override;
    void ThumbnailBlockLoaded(bool loaded) override;
    void ExportStarted() override;
    void ExportFinished() override;
    void ArchiveReset() override;
    void ArchiveLoaded() override;
    void Progress(std::int64_t done, std::int64_t total) override;
    bool IsCanceled() override { return cancelRequested_; }

    // Asks the running load or export to stop (Esc, the Cancel button). Ignored when idle.
    void RequestCancel();

    // Loads an archive as the Load command does once its dialog returned a path. Ignored while
    // a load or an export runs.
    void OpenArchive(const std::string& path);
    // Shows image Index of the image table on Picture1 at the current zoom.
    void ShowImage(std::int32_t Index);

    CommDlgs& Dialogs() { return dialogs_; }
    ExportChoosers& Choosers() { return choosers_; }
    ArchiveModel& Model() { return model_; }
    Settings& Config() { return settings_; }
    const DisplayStats& Stats() const { return stats_; }
    // True while a load or an export runs.
    bool IsBusy() const { return busy_; }
    PictureBox* Picture1() const { return picture1_; }

    // Playback of the chosen direction's frames.
    bool IsPlaying() const;
    void SetPlaying(bool playing);
    // The most recently opened archives, newest first.
    const std::vector<std::string>& RecentFiles() const { return recentFiles_; }
    void SetRecentFiles(std::vector<std::string> paths);
    // The window's settings as they were last remembered between runs, and their restoring.
    void RestorePreferences();
    void SavePreferences() const;

    // Pixels for twips at the window's logical dpi.
    int Px(int twips) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Marks a load or an export as running for as long as it lives: the commands that would
    // change the model are off and the progress bar shows.
    class BusyScope {
      public:
        explicit BusyScope(Form1& form);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        Form1& form_;
        bool wasBusy_;
    };

    void BuildControls();
    void BuildMenus();
    void InstallKeyFilter();
    QAction* AddItem(QMenu* menu, const char* name, const char* caption);

    // Browsing.
    // The action and direction chosen in List1..List3, or null when the lists name none.
    const ActionRecord* SelectedAction() const;
    const DirectionRecord* SelectedDirection() const;
    void List1_Click();
    void List2_Click();
    void List3_Click();
    void List4_Click();
    void HScroll1_Change();
    void ClearPicture();
    // Steps the scroll bar by delta images, within its range.
    void StepImage(int delta);
    // Steps the Frames list by delta within the chosen direction, wrapping around.
    void StepFrame(int delta);
    void SetZoom(double zoom);
    void FitZoom();
    void UpdateInfoLine(std::int32_t index);
    // Builds frameUses_ from the loaded hierarchy.
    void IndexFrameUses();
    void PlaybackTick();
    void AddRecentFile(const std::string& path);
    void RebuildRecentMenu();
    void ShowAbout();
    // Whether the export mode has what it exports; the export commands follow it.
    bool ModeHasSomethingToExport() const;
    void UpdateExportStates();
    // The status-line note of what an export wrote or lacked.
    void ShowExportOutcome(const std::string& text);
    // Asks before an export replaces existing files; false when the user declines.
    bool ConfirmReplace(const std::vector<std::string>& paths, bool allowDontAsk);

    // Window, File and View menus.
    void Form_Resize();
    void Form_KeyUp(int KeyCode);
    void mnuLoad_Click();
    void mnuUnload_Click();
    void mnuTransparent_Click();
    bool Picture1_Drop(const std::string& path);
    void RunLoad();

    // The export sequence panel.
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    std::vector<std::int32_t> SequenceImages() const;

    // Options and Export menus.
    void mnuOpt_Click(int Index);
    void mnuExportMode_Click(int Index);
    void mnuExpNow_Click();
    void mnuExpAs_Click();
    void mnuExpTo_Click();
    void mnuToSIF_Click();
    // allowDontAsk: the replace question may be turned off for the rest of the run.
    void ExportBitmaps(bool allowDontAsk);
    void mnuExpAnim_Click();  // form1_anim.cpp
    // form1_atlas.cpp. Whether an atlas or frames export can start (nothing running, an archive
    // loaded, playback stopped) and the selection of the export mode; false (the user told) when
    // the mode is not all objects, the selected object, action or direction.
    bool ExportModeSelection(ExportMode& mode, std::int32_t& object, std::int32_t& action,
                             std::int32_t& direction);
    // Runs an atlas or frames export with the window busy, its caption kept and an output budget
    // that asks; false when the archive changed on disk under it (a reload then offered).
    bool RunSelectionExport(const std::function<void(const OutputBudget&)>& work);
    void mnuExpAtlas_Click();
    void mnuExpFrames_Click();
    // Every image as a file of its own in a chosen folder, as `qxa extract` writes them.
    void mnuExpImages_Click();
    void ExportSif();
    // When the archive changed on disk while it was open: says so and offers to reload it
    // (Yes reloads). Returns whether it had changed.
    bool OfferReloadIfArchiveChanged();
    void OfferReload();

    // Commands that load, unload or export are off while a load or an export runs.
    void UpdateCommandStates();
    void FinishPendingClose();
    void ShowProgress();

    ArchiveModel model_;
    Settings settings_;
    CommDlgs dialogs_;
    ExportChoosers choosers_;
    DisplayStats stats_;

    QWidget* client_ = nullptr;
    QScrollBar* hScroll1_ = nullptr;
    PictureBox* picture1_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;  // beside the progress bar while work runs
    QFrame* line1_ = nullptr;
    QWidget* listFrame_ = nullptr;
    std::array<QLabel*, 4> listLabels_{};
    QComboBox* list1_ = nullptr;
    QComboBox* list2_ = nullptr;
    QComboBox* list3_ = nullptr;
    QComboBox* list4_ = nullptr;
    QWidget* picture3_ = nullptr;
    QToolButton* command5_ = nullptr;
    QToolButton* command6_ = nullptr;
    QToolButton* command7_ = nullptr;
    QToolButton* command8_ = nullptr;
    QListWidget* list5_ = nullptr;

    QAction* mnuLoad_ = nullptr;
    QAction* mnuUnload_ = nullptr;
    QAction* mnuExit_ = nullptr;
    QAction* mnuTransparent_ = nullptr;
    QAction* mnuZoomIn_ = nullptr;
    QAction* mnuZoomOut_ = nullptr;
    QAction* mnuZoomReset_ = nullptr;
    QAction* mnuZoomFit_ = nullptr;
    QAction* mnuCheckerboard_ = nullptr;
    QAction* mnuPlay_ = nullptr;
    QMenu* mnuRecent_ = nullptr;
    QLabel* infoLine_ = nullptr;
    QLabel* exportNote_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QSpinBox* fpsBox_ = nullptr;
    QTimer* playTimer_ = nullptr;
    std::vector<std::string> recentFiles_;
    // Every frame of the hierarchy by the image it shows, for the info line.
    struct FrameUse {
        std::int32_t image, object, action, direction, frame;
    };
    std::vector<FrameUse> frameUses_;
    std::uint64_t showSerial_ = 0;    // counts ShowImage calls, to spot one made during another
    bool askBeforeReplacing_ = true;  // until the user says not to, for this run
    std::array<QAction*, 8> mnuOpt_{};
    QAction* mnuExpNow_ = nullptr;
    QAction* mnuExpAs_ = nullptr;
    QAction* mnuExpTo_ = nullptr;
    QAction* mnuToSIF_ = nullptr;
    std::array<QAction*, 8> mnuExportMode_{};

    bool busy_ = false;
    bool exportNowAllowed_ = true;  // false while core runs an export
    bool cancelRequested_ = false;  // the user asked the running work to stop
    bool closePending_ = false;
    bool labelPending_ = false;
    std::int64_t loadNumber_ = 0;
    std::int64_t loadTotal_ = 0;
    bool progressPending_ = false;
    std::int64_t progressDone_ = 0;
    std::int64_t progressTotal_ = 0;
    std::chrono::steady_clock::time_point lastPump_{};
};

}  // namespace pixhaul::viewer
