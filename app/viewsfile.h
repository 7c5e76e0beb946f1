#pragma once
// Saved views: one camera set-up of the viewer with its scheme name, and the
// views file (".vad" beside the object, one section per view) with its
// batch-render settings and named batches.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common.h"
#include "forms/inifile.h"

namespace stellwerk {

constexpr size_t kViewNameMax = 50;
constexpr size_t kViewSchemeMax = 50;
constexpr size_t kViewBackImageMax = 255;

struct ViewRecord {
    std::string Name;       // at most 50 characters
    std::string Scheme;     // at most 50 characters
    std::string BackImage;  // at most 255 characters
    Color BackColor = RGB3(128, 128, 128);
    float XRot = 0;  // Psi
    float ZRot = 0;  // Phi
    float Zoom = 1;
    float Vrpx = 0, Vrpy = 0, Vrpz = 0;
    float Eyex = 0, Eyey = 0, Eyez = 0;
    float TanA = 0;
    int32_t Lights = 31;
    bool Parallel = false;
    bool Tiled = false;
    int32_t TileOffsetX = 0, TileOffsetY = 0;

    // A view reference point or an eye point that is not all zero.
    bool HasCamera() const;
    bool operator==(const ViewRecord&) const = default;
};

constexpr const char* kLastViewSection = "<LastView>";
constexpr const char* kBatchRenderSection = "BatchRender";
constexpr const char* kBatchNamesSection = "BatchNames";
constexpr const char* kGeneralSection = "General";

// "Flags": bits 0-4 lights, 64 parallel projection, 128 tiled background.
constexpr uint32_t kViewParallel = 64;
constexpr uint32_t kViewTiled = 128;
uint32_t ViewFlags(const ViewRecord& v);

// The shortest text of a float that reads back as the same float, with ".".
std::string FloatText(float v);

// The view of a section, or nothing when it has no camera.
std::optional<ViewRecord> ReadViewSection(const forms::IniFile& ini, std::string_view section);
// Replaces the section with the view's keys.
void WriteViewSection(forms::IniFile& ini, const ViewRecord& view, std::string_view section);
// The view's keys into a section the file does not hold yet.
void WriteNewViewSection(forms::IniFile& ini, const ViewRecord& view, std::string_view section);
// Removes every section of those names (letter case ignored) in one pass.
void EraseSections(forms::IniFile& ini, const std::vector<std::string>& sections);

struct BatchSettings {
    int BmpWidth = 640;
    int BmpHeight = 480;
    int BmpQuality = 0;  // 0..2
    bool RayTrace = false;
    int OutputFile = 0;

    bool operator==(const BatchSettings&) const = default;
};
BatchSettings ReadBatchSettings(const forms::IniFile& ini);
void WriteBatchSettings(forms::IniFile& ini, const BatchSettings& s);

// Batch names in "BatchNames" order, trimmed, empty ones and repeats
// (letter case ignored) left out; first is put in front.
std::vector<std::string> ListBatchNames(const forms::IniFile& ini, const std::string& first);
// Which of the views the batch names (letter case ignored).
std::vector<bool> ReadBatch(const forms::IniFile& ini, std::string_view batch, const std::vector<std::string>& views);
// Replaces the batch's section with the names, ten to a key; the batch is
// listed in "BatchNames" once. An empty name does nothing.
void WriteBatch(forms::IniFile& ini, std::string_view batch, const std::vector<std::string>& names);
// Erases the batch's section and its "BatchNames" entries.
void DeleteBatch(forms::IniFile& ini, std::string_view batch);

}  // namespace stellwerk
