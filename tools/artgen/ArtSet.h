#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace artgen {

// One picture of the art folder and its path relative to that folder.
struct ArtFile {
    QString path;
    QImage image;
};

// Every PNG picture of the art folder, in a fixed order.
std::vector<ArtFile> ArtFiles();
// Name of the Windows icon file in the art folder and its contents.
inline constexpr const char* kIcoName = "Tarvik.ico";
QByteArray IcoContents();
// Writes all files into `folder` (created if missing); false and a message on failure.
bool WriteArt(const QString& folder, QString* error);

}  // namespace artgen
