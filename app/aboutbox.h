#pragma once

class QWidget;

namespace Velmora {

// Where new versions are published; "前往更新" in the about box leads here.
inline constexpr char ReleasePageUrl[] = "https://github.com/velmora-app/velmora/releases";

// The modal "关于" box. It changes no state and writes nothing to the log.
void showAboutBox(QWidget *parent);

} // namespace Velmora
