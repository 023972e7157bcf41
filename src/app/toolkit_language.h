// The toolkit's own texts (the Yes/No/OK buttons of message boxes, the file
// dialogs' labels) follow the interface language through Qt's Russian
// catalogue, qtbase_ru.qm from Debian's qt6-translations-l10n, read from
// QLibraryInfo's translations directory.
#pragma once

#include <cstdint>

namespace rtd::app {

// language 1 removes the Russian catalogue (Qt's built-in texts are
// English); any other value installs it once, owned by the application
// object. Returns false when Russian was asked for and the catalogue cannot
// be loaded (package not installed): the toolkit then stays in English and
// the program runs on; also false for Russian before the application object
// exists.
bool ApplyToolkitLanguage(int32_t language);

}  // namespace rtd::app
