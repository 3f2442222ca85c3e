#pragma once
// Picture1: the frame display. Owns a pixel surface as large as the widget, which ShowImage
// draws on through its device context; Refresh turns the surface into a QImage once and the
// widget paints that until the next Refresh. Files dropped on it are handed to onFileDropped.
#include <QImage>
#include <QMimeData>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "platform/surface.h"

namespace pixhaul::viewer {

class PictureBox : public QWidget {
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The background colour: Clear fills with it, and it shows wherever nothing is drawn.
    void SetBackColor(COLORREF colour);
    COLORREF BackColor() const { return backColor_; }
    // Whether pixels of the background colour show as a grey checkerboard on the screen (the
    // surface and Shown() keep the colour).
    void SetCheckerboard(bool on);
    // The surface drawn on (the device context of the picture box).
    DeviceContext hDC() { return &surface_; }
    // Fills the surface with the background colour. Only what was drawn since the last clear
    // is filled again, since the rest still holds the background.
    void Clear();
    // Makes what was drawn on the surface visible: converts and repaints the changed area only.
    void Refresh();
    // What the widget shows now (the surface as of the last Refresh).
    const QImage& Shown() const { return shown_; }

    // The first local file of a drop; set by the window. Returns whether the drop was taken.
    std::function<bool(const std::string& path)> onFileDropped;
    // Called after the widget changed size (the surface is cleared to the new size).
    std::function<void()> onResized;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    Surface surface_;
    QImage shown_;
    COLORREF backColor_ = 0xFF00FF;
    bool checkerboard_ = false;
    // The colour the whole surface was last filled with, if it was.
    std::optional<COLORREF> filledWith_;
    // What may differ from the background since the last clear.
    PixelRect drawn_;
    // What changed on the surface since the last Refresh.
    PixelRect pending_;
};

// The first local file named by dropped data, or "" when it names none.
std::string FirstLocalFile(const QMimeData* data);

}  // namespace pixhaul::viewer
