// The field mapper: a source of captions and visions for fields, shared by
// the grids and edits that name it as their Mapper. A grid's columns and an
// edit import the caption and vision of their fields from it, as far as
// their mapping options allow.
#pragma once

#include <functional>
#include <vector>

#include "toolkit/core/component.h"

class TgpFieldList;
class TvpFieldVision;

// The library has no mapper of its own; a program derives one and answers Entry.
class TvpCustomFieldMapper : public TComponent {
  KIV7_PERSISTENT(TvpCustomFieldMapper)

 public:
  explicit TvpCustomFieldMapper(TComponent* owner) : TComponent(owner) {}

  // The entry for a consumer's fields: true with its vision (nullptr for
  // none) and caption; false with neither when the mapper knows none.
  virtual bool Entry(TgpFieldList* Fields, TvpFieldVision*& Vision, AnsiString& Caption) = 0;

  // A grid or edit that took this mapper, and how it imports again; a
  // client taken again replaces its import. Clients leave before they go.
  void AddClient(TComponent* client, std::function<void()> import);
  void RemoveClient(TComponent* client);
  int ClientCount() const { return static_cast<int>(clients_.size()); }
  // The entries changed: every client imports again.
  void EntriesChanged();

 private:
  struct Client {
    TComponent* component;
    std::function<void()> import;
  };
  std::vector<Client> clients_;
};

// Moves client from the mapper ref holds to value (either may be nullptr):
// the old one forgets it, the new one knows it with its import.
void SwitchMapper(TComponentRef<TvpCustomFieldMapper>& ref, TvpCustomFieldMapper* value, TComponent* client,
                  std::function<void()> import);
