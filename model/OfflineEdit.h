#pragma once

namespace model {

class TSettings;

// Opens a settings document for editing without a device: the register store
// starts afresh and holds an image of every register the document uses, and
// every setting takes its factory default, which goes into that image. The
// main window's offline edit and the offline commands of dravonik-cli both
// start here, so a file either of them writes holds the same values.
// Errors of the document are thrown.
void OpenOffline(TSettings& document);

}  // namespace model
