// IQivSceneHost: how a program that builds scenes itself hands them to the control. The
// control answers QueryInterface with the same table under each of the three identifiers.
// Pointers are the engine's own records; nothing here goes through automation.
#pragma once
#include <windows.h>
#include <unknwn.h>

struct PelContent;
struct ScnNode;
struct TexRecord;

extern "C" const IID IID_IQivSceneHost;
extern "C" const IID IID_IQivSceneHost2;
extern "C" const IID IID_IQivSceneHost3;

// Colours are three floats red, green, blue in 0..1; a negative component keeps the current
// one; a null colour keeps all three. ok receives 1 on success, else 0.
struct IQivSceneHost : public IUnknown {
    // A scene node of content with one texture per area (null entries: none) becomes the
    // only scene root; the control owns the node from then on, the host keeps the content
    // (it must outlive the node) and the textures.
    virtual HRESULT STDMETHODCALLTYPE AddObjectContent(TexRecord** textures, PelContent* content, void* reserved,
                                                       const float* colour, LONG* ok) = 0;
    // Unloads the whole scene and lets go of the shared lights.
    virtual HRESULT STDMETHODCALLTYPE ClearScene() = 0;
    // The zero-terminated root list becomes the scene; list and nodes stay the host's and
    // must live until the scene is cleared or replaced.
    virtual HRESULT STDMETHODCALLTYPE SetSceneRoots(ScnNode** roots, void* reserved, const float* colour,
                                                    LONG* ok) = 0;
    // A texture by name as the control finds its own (texture cache, beside baseDirectory,
    // the texture path); null when there is none. The control keeps it in the texture cache
    // while it lives.
    virtual HRESULT STDMETHODCALLTYPE ResolveTexture(const char* name, const char* baseDirectory,
                                                     TexRecord** handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved() = 0;
    // Draws the scene again.
    virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;
};
