#pragma once

#include "RenderDefinitions.h"

#include <QString>
#include <QStringList>

// What the definition view says where no definitions are to show, as
// text with link runs.

// The search ended everywhere without a definition: the word, each server
// that did not answer and why, and the spelling suggestions as links.
RenderedDefinitions NothingFoundNotice(const QString& word, const QStringList& unanswered,
                                       const QStringList& suggestions);

// No servers are listed; the link opens the servers dialog.
RenderedDefinitions NoServersNotice();
