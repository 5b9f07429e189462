#pragma once
// disks/list.cgi and record/list.cgi over the camera's RecordingStore.
// record/list.cgi takes recordingid=all|<id>[,<id>], diskid, starttime,
// stoptime (ISO 8601 UTC), maxnumberofresults and sortorder; a bad value is
// answered 400, as camsim cannot know the camera's own wording.
#include "HttpMessage.h"

namespace Camsim {

class RecordingStore;

class RecordCgi {
public:
    explicit RecordCgi(const RecordingStore& store) : store_(store) {}

    HttpResponse disks(const HttpRequest& request) const;
    HttpResponse list(const HttpRequest& request) const;

private:
    const RecordingStore& store_;
};

} // namespace Camsim
