#pragma once

#include <QString>
#include <functional>

class QObject;
class QWidget;

// The desktop's file manager.
namespace FileManager {

// Opens the file's folder with the file selected where the file manager offers that
// (org.freedesktop.FileManager1), the folder alone through xdg-open otherwise. When neither
// opens anything, `failed` is called on `context`'s thread with the reason, unless `context` is
// gone by then.
void showFile(const QString& path, QObject* context,
              std::function<void(const QString& reason)> failed);

// showFile() with its failure told in a warning over `parent`, in the app's words.
void showFileOrSay(const QString& path, QWidget* parent);

} // namespace FileManager
