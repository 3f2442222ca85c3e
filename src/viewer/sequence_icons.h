#pragma once
// The pictures of the four export-sequence buttons, painted in code.
#include <QIcon>

namespace pixhaul::viewer {

enum class SequenceIcon { Add, MoveUp, MoveDown, Remove };

QIcon MakeSequenceIcon(SequenceIcon kind, int size);

}  // namespace pixhaul::viewer
