// Qiv containers to and from the host: files written whole or not at all, and the
// length-prefixed form in the host document's streams.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <vector>

#include "qivcontainer.h"

// Largest container taken from a document's stream.
constexpr uint32_t kQivStreamContainerMax = QIV_PAYLOAD_MAX;

// Reads n bytes: a read that brings nothing before that gives E_FAIL; a failing Read its code.
HRESULT ReadStreamFully(IStream* stream, void* buffer, ULONG n);
// Writes n bytes: a write that takes nothing gives STG_E_MEDIUMFULL; a failing Write its code.
HRESULT WriteStreamFully(IStream* stream, const void* data, size_t n);
// A 4-byte length, then that many bytes (the buffer grows with what really arrives).
HRESULT qivReadContainerFromStream(IStream* stream, std::vector<uint8_t>* out);
// The 4-byte length and the container as saving writes it; E_FAIL when nothing is kept.
HRESULT qivWriteContainerToStream(IStream* stream, const QivKeptContainer& kept);
// Writes the container to path with its file time (creation, last access, last write; 0:
// the time of writing): into a temporary file beside it that takes the name only when
// complete, and never in place of a file that is there (false then). False when nothing is
// kept or it could not be written; path is then as it was.
bool qivSaveContainerFile(const char* path, const QivKeptContainer& kept, uint64_t fileTime);
// IsQivContainerFile: the file starts a Qiv container (outer header, then "Qiv1" and version 1
// in the first payload bytes). 0 for a file that cannot be opened or mapped.
int qivIsContainerFile(const char* path);
