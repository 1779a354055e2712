#include "grid/rs_mapper.h"

#include <algorithm>

#include "toolkit/core/typinfo.h"

const TClassInfo& TvpCustomFieldMapper::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpCustomFieldMapper>, "TvpCustomFieldMapper",
                               &TComponent::StaticClassInfo());
  return info;
}

void TvpCustomFieldMapper::AddClient(TComponent* client, std::function<void()> import) {
  for (Client& c : clients_) {
    if (c.component == client) {
      c.import = std::move(import);
      return;
    }
  }
  clients_.push_back(Client{client, std::move(import)});
}

void TvpCustomFieldMapper::RemoveClient(TComponent* client) {
  std::erase_if(clients_, [client](const Client& c) { return c.component == client; });
}

void SwitchMapper(TComponentRef<TvpCustomFieldMapper>& ref, TvpCustomFieldMapper* value, TComponent* client,
                  std::function<void()> import) {
  if (TvpCustomFieldMapper* old = ref) old->RemoveClient(client);
  ref = value;
  if (value != nullptr) value->AddClient(client, std::move(import));
}

void TvpCustomFieldMapper::EntriesChanged() {
  // A client's import may drop other clients (a handler freeing an edit):
  // each is looked up again before it is told.
  const std::vector<Client> snapshot = clients_;
  for (const Client& c : snapshot) {
    const bool still = std::any_of(clients_.begin(), clients_.end(),
                                   [&c](const Client& now) { return now.component == c.component; });
    if (still) c.import();
  }
}
