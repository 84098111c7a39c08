#pragma once

// Who makes Tailspade, and the two pages of theirs that the window shows or opens.
namespace publisher {
inline constexpr char kName[] = "Tailspade 工作室";
inline constexpr char kHomePage[] = "https://tailspade.example.com/";
// Shipped with the program, so the strip at the bottom shows something useful offline.
inline constexpr char kToolsPage[] = "qrc:/tailspade/tools.html";
} // namespace publisher
