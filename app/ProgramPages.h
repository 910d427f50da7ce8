#pragma once
#include <string>

#include "command/CommandHost.h"
#include "core/RefPtr.h"
#include "ui/Page.h"
#include "ui/PageContext.h"

namespace talvinor {

// The program's page of a tab, made with what every page is given; null when
// it cannot be made. The settings tab holds an empty page until its own
// page is part of the program.
RefPtr<Page> MakeProgramPage(PageId page, const PageContext& context);

// Publishes the player page among `pages` to the desktop's media controls
// (MPRIS on the session bus, under a name with `nameSuffix`); false, traced,
// when there is no player page or no session bus.
bool StartDesktopMediaControls(Page* player, const std::string& nameSuffix);

// The program's rename of a finished call recording: the latest call of the
// histories the settings name goes into the file name; a failure to read
// them is shown on `page`. True when the file was renamed.
bool RenameCallRecording(CRecWaveIn& master, Page& page);

}  // namespace talvinor
