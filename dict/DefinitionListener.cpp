#include "DefinitionListener.h"

// A listener overrides only the reports it follows.
void DefinitionListener::OnActivity(const DictConnection&, ConnectionActivity) {}
void DefinitionListener::OnDefinitionsCleared(const DictConnection&) {}
void DefinitionListener::OnDatabaseBegins(const DictConnection&, const std::string&, const std::string&) {}
void DefinitionListener::OnDefinitionComplete(const DictConnection&, const std::string&, const std::string&) {}
void DefinitionListener::OnLookupEnded(const DictConnection&, const LookupEnd&) {}
