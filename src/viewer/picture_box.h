#pragma once
// Picture1: the frame display. The window composes the picture at 1:1 on a surface the box
// keeps; the box shows it scaled by the zoom in a 32-bit image as large as the visible area,
// drawn straight from that surface. A picture larger than the area gets scroll bars and pans
// with them, with the wheel and by dragging with the middle button, all from the kept surface
// (nothing is decoded again). Files dropped on it are handed to onFileDropped.
#include <QImage>
#include <QMimeData>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "platform/surface.h"

class QScrollBar;

namespace pixhaul::viewer {

class PictureBox : public QWidget {
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The background colour: it shows wherever the picture does not.
    void SetBackColor(COLORREF colour);
    COLORREF BackColor() const { return backColor_; }
    // Whether pixels of the background colour show as a grey checkerboard on the screen (the
    // surface and Shown() keep the colour).
    void SetCheckerboard(bool on);

    // Starts a new picture of width x height: returns the surface to draw it on at 1:1, its
    // top-left corner at (0, 0). What it held before may still be there.
    DeviceContext StartPicture(std::int32_t width, std::int32_t height);
    // Shows what was drawn since StartPicture, scaled by zoom; the background alone when nothing
    // was. The view keeps its scroll position (held to the new ranges), so the frames of one
    // direction show the same part, and keeps its centre when the zoom changes.
    void ShowPicture(double zoom);
    // Shows the background alone and drops the picture.
    void Clear();
    // What the visible area shows now, without the scroll bars.
    const QImage& Shown() const { return shown_; }
    // The picture's pixel (in scaled pixels) at the top-left corner of the visible area.
    QPoint ScrollOffset() const;

    // The first local file of a drop; set by the window. Returns whether the drop was taken.
    std::function<bool(const std::string& path)> onFileDropped;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Shows or hides the scroll bars for the scaled picture and sizes the visible area.
    void LayOut();
    // Draws the scaled picture at the scroll position and the background around it.
    void Present();
    // Moves the view to offset (held to the scroll ranges) and shows it there.
    void ScrollTo(QPoint offset);
    std::int32_t ScaledWidth() const;
    std::int32_t ScaledHeight() const;

    Surface picture_;
    bool hasPicture_ = false;
    double zoom_ = 1.0;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    QImage shown_;
    COLORREF backColor_ = 0xFF00FF;
    bool checkerboard_ = false;
    // The colour the whole visible area was last filled with, if it was.
    std::optional<COLORREF> filledWith_;
    // What of the visible area may differ from the background.
    PixelRect drawn_;
    // The middle-button drag: where it started and the scroll position then.
    std::optional<QPoint> dragFrom_;
    QPoint dragOffset_;
};

// The first local file named by dropped data, or "" when it names none.
std::string FirstLocalFile(const QMimeData* data);

}  // namespace pixhaul::viewer
