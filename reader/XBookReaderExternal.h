#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/BrowserBridge.h"

class TXBookBrowser;

// window.external of the reader's pages: most members forward to the chapter
// browser it is bound to, the display settings are HTMLParam rows, and
// GetAdDate/SetAdDate read and write one key of set.ini. Members that
// navigate answer the page first and act once it has its answer.
//
// Unbound (or once its browser is gone), every member but GetAdDate and
// SetAdDate answers at once and changes nothing; getters give the empty text
// (HaveNextButton 0).
class TXBookReaderExternal : public platform::ui::ExternalProvider {
  public:
    // The reader's type library and its identities.
    static constexpr const char* kLibraryName = "QuiraReader";
    static constexpr const char* kLibraryID = "{9007B4AC-6868-49E6-9EDF-5A8F665E28F8}";
    static constexpr const char* kInterfaceID = "{7BD0817C-7752-4BCC-8120-403360DE6ECD}";
    static constexpr const char* kClassID = "{D7043168-B910-481B-B6C1-FA33005B5F43}";

    // token: alive while the browser is.
    void Bind(TXBookBrowser* browser, std::weak_ptr<void> token);

    std::vector<platform::ui::BridgeMember> Members() const override;
    platform::ui::BridgeReply Invoke(const std::string& member, platform::ui::CallKind kind,
                                     const std::vector<platform::ui::BridgeValue>& args) override;

  private:
    TXBookBrowser* Bound() const;
    // An action that runs after the answer, while the browser still lives.
    std::function<void()> Later(std::function<void(TXBookBrowser&)> action) const;

    TXBookBrowser* browser_ = nullptr;
    std::weak_ptr<void> token_;
};
