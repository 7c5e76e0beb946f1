// What the control keeps of the object it took from a host document (inline data, a "Qiv"
// container, an embedded object file), where the document lies, and the save-file dialog
// that the object save runs.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <objidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qivcontainer.h"

// Bytes an object was shown from, with what names it while it is the current object: the
// current slot's source name, or, while no object is shown, the ObjectURL it came with.
struct QivKeptObject {
    std::vector<uint8_t> bytes;
    std::string sourceName;
    std::string url;
    void clear() { *this = QivKeptObject(); }
};

// A container in memory as the object save writes it back.
struct QivParsedContainer {
    QivKeptContainer kept;
    std::unique_ptr<uint8_t[]> payload;
    size_t payloadSize = 0;
    uint64_t fileTime = 0;
};
// The whole container of bytes read (and kept) for saving; false when it is not one.
bool qivParseWholeContainer(const std::vector<uint8_t>& bytes, QivParsedContainer* out);

struct QivDocumentState {
    QivDocumentState();
    ~QivDocumentState();  // deletes the temporary files
    QivDocumentState(const QivDocumentState&) = delete;
    QivDocumentState& operator=(const QivDocumentState&) = delete;

    std::string address, folder;  // the document's display name and its folder
    std::string inlineName;       // this control's inline-object name
    std::string containerName;    // and the name of the container from its storage
    QivKeptObject inlineData;     // stream kind 2, as received
    QivKeptObject container;      // the storage's "Qiv" stream
    // The document's object as shown: the slot's source name and the file it was read from.
    std::string loadedSource, loadedFrom;
    std::vector<std::string> tempFiles;
    std::string pictureCopy;  // the background picture the storage brought, as a file

    void deleteTempFiles();
};

// The name a local object is cached under: the absolute path of a file name (other names,
// addresses and a document's own names, as they are).
std::string qivAbsoluteObjectName(const std::string& name);
// FileExists: the file opens for reading, shared for reading and writing (a folder does not).
bool FileExists(const std::string& path);
// Writes a whole file: created new (an existing file is kept and the write fails), or, with
// replace, built beside it and put in its place when complete. Nothing half-written stays.
bool qivWriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool replace);
// New temporary file (prefix, in the user's temporary folder); empty when none can be made.
std::string qivTempFile(const char* prefix);
// LZ expansion (or a plain copy) of a file into a new temporary file (localfile_win.cpp).
std::string qivExpandToTemp(const std::string& path, const char* prefix);
// Textures entered into the texture cache under name; scope: the cache's scope of the name
// (textureScopeOf). Each answers the texture, or null.
struct TexRecord;
// LoadTextureFile: a picture file (BMP, else JPEG) with its size in metres (1.0 where it
// gives none).
TexRecord* LoadTextureFile(const std::string& name, const std::string& path, const std::string& scope = {});
// LoadCompressedTexture: a file through the LZ expansion (the file as it is when that fails).
TexRecord* LoadCompressedTexture(const std::string& name, const std::string& path, const std::string& scope = {});
// CacheTexture: a texture the caller made, under the name in the ANSI code page, with its
// scales; 0 for a null name or texture.
int CacheTexture(const wchar_t* name, TexRecord* texture, float scaleX, float scaleY);
// AddTextureFromStream: the stream's bytes from its position to its end as a picture file
// (persist_win.cpp).
TexRecord* AddTextureFromStream(const std::string& name, IStream* stream, const std::string& scope = {});

// The save-file dialog the object save shows; tests put their own in (null: the system's).
using QivSaveFileDialog = BOOL(WINAPI*)(OPENFILENAMEA* ofn);
void qivSetSaveFileDialog(QivSaveFileDialog dialog);
BOOL qivRunSaveFileDialog(OPENFILENAMEA* ofn);
// The same for the open-file dialog of the object load.
void qivSetOpenFileDialog(QivSaveFileDialog dialog);
BOOL qivRunOpenFileDialog(OPENFILENAMEA* ofn);
