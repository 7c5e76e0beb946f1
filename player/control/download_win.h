// The control's download state, shared by the download files.
#pragma once
#include <windows.h>
#include <docobj.h>

#include <memory>
#include <string>

#include "background.h"
#include "hoverprogress.h"
#include "qivctl_win.h"
#include "transfers.h"

// Whether an address names a class (GetClassURL; Wine's is not asked): tests set their
// own, null gives the system's back.
using QivClassUrlCheck = HRESULT(WINAPI*)(LPCWSTR url, CLSID* id);
void qivSetClassUrlCheck(QivClassUrlCheck check);

struct CQivPlayerCtl::DownloadParts {
    // The one download under way: the object of ObjectURL or the pending list's current entry.
    struct Running {
        qcom::ComPtr<BindCallback> callback;  // null while binding, or for a local file
        bool object = false;
        std::string url;
        bool streamed = false;
        const QivLoadSession* session = nullptr;
        std::string urlBefore;  // ObjectURL of the object shown when the load began
        bool shownBefore = false;
        bool textureArrived = false;
        std::string localFile;  // the local file a file URL named, read in place
    };
    qivctl::TransferQueue queue;
    qivctl::ProgressDisplay progress;
    qivctl::CallbackGate gate;
    std::unique_ptr<Running> running;
    int32_t loadState = 0;     // 2 geometry, 3 textures and pictures
    bool closing = false;      // the window went: no new binds
    bool delayedLoad = false;  // timer 55 runs for DelayBeforeLoad
    bool deferredLoad = false; // the view was hidden: the next draw starts the load
    std::string shownUrl;      // ObjectURL of the object shown before a put changed it
    bool shownBeforePut = false;
    std::string baseUrl;       // the container page's address
    std::string backPictureUrl;  // BackPictureURL as stored
    std::string backPictureFile; // the local file the picture shown was really read from
    qcom::ComPtr<IOleCommandTarget> target;
    int targetState = 0;       // 0 not asked, 1 usable, 2 none
    std::shared_ptr<qivctl::ThumbnailHandover> thumbnail;
    ~DownloadParts();
};
