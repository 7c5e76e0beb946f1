#pragma once
// The web-publishing form: which views and schemes to publish, the size of
// the viewer on the page, the slide-show pictures with their captions,
// delay, type and size; Publish writes the page and its companion folder
// through the page generator and opens it.
#include <functional>
#include <memory>
#include <string>

#include "colorbutton_win.h"
#include "forms/extctrls.h"
#include "forms/form.h"
#include "forms/stdctrls.h"
#include "webpublish.h"

namespace stellwerk {

class TFMainqiv;

// The platform's side of publishing: folders, stamps and copies through the
// file functions, the main form's tile as a BMP, schemes read over the
// object's own materials. Pictures are converted through the imaging
// libraries (ConvertImageFile), or by Convert when it is set.
class WinPublishHost : public PublishHost {
public:
    explicit WinPublishHost(TFMainqiv& main) : f_(main) {}
    bool CreateFolder(const std::string& folder) override;
    std::optional<FileStamp> Stamp(const std::string& file) override;
    bool CopyFile(const std::string& from, const std::string& to) override;
    bool SaveTile(const std::string& file) override;
    bool ConvertPicture(const std::string& from, const std::string& to, const PictureSize& size) override;
    MaterialSet LoadScheme(const std::string& file) override;
    std::function<bool(const std::string& from, const std::string& to, const PictureSize& size)> Convert;

private:
    TFMainqiv& f_;
};

class TFSlideShow : public forms::Form {
public:
    TFSlideShow(forms::Component* owner, TFMainqiv& main);

    forms::RadioGroup* RGPublish = nullptr;
    forms::Panel *PanelViewSchemes = nullptr, *PanelImage = nullptr;
    forms::CheckListBox *ChkLBView = nullptr, *ChkLBSchemes = nullptr;
    forms::Label* LblScheme = nullptr;
    forms::Edit *EqivWd = nullptr, *EqivHt = nullptr, *EImgWd = nullptr, *EImgHt = nullptr;
    forms::ValueListEditor* VLEditor = nullptr;
    TColorSpeedButton *CSBImageAdd = nullptr, *CSBImageUp = nullptr, *CSBImageDown = nullptr,
                      *CSBImageRemove = nullptr;
    forms::SpinEdit* SpinDelay = nullptr;
    forms::ComboBox* ComboFiletype = nullptr;
    forms::GroupBox* GrpImageResize = nullptr;
    forms::RadioButton *RBSameWidth = nullptr, *RBSameHeight = nullptr, *RBWidthHeight = nullptr;
    forms::CheckBox* ChkResizeAll = nullptr;
    forms::Button *BtnGenerateHTML = nullptr, *BtnClose = nullptr;

    // The picture chooser (several files) and the save dialog of the page
    // (start folder, proposed name; the chosen path or empty), unless replaced.
    std::function<std::vector<std::string>()> ChoosePictures;
    std::function<std::string(const std::string& folder, const std::string& name)> ChoosePage;
    // Opens the written page (the shell's "open" verb unless replaced).
    std::function<void(const std::string&)> OpenPage;
    WinPublishHost& Host() { return host_; }

    // Writes the page; the status of the generator.
    PublishStatus PublishPage(const std::string& pagePath);
    PublishOptions Options() const;

    void RGPublishClick();
    void ChkResizeAllClick();
    void RBResizeWidthHeightClick();
    void CSBImageAddClick();
    void CSBImageRemoveClick();
    void CSBImageMoveClick(int by);

private:
    TFMainqiv& f_;
    WinPublishHost host_;
    std::function<void(MSG&, bool&)> savedHook_;
};

}  // namespace stellwerk
