#pragma once

class QCoreApplication;

// The user's language for the app's own texts (built into the app) and for Qt's standard ones
// (dialog buttons), both from the first language in the user's list that we have. The texts in
// the code are English, so an English entry ahead of any translation keeps them.
namespace Translations {

void install(QCoreApplication& application);

} // namespace Translations
