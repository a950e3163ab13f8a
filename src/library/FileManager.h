#pragma once

#include <QString>

// The desktop's file manager.
namespace FileManager {

// Opens the file's folder with the file selected where the file manager offers that
// (org.freedesktop.FileManager1), the folder alone otherwise.
void showFile(const QString& path);

} // namespace FileManager
