#pragma once
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Translation of the framework's and the serial layer's own texts. Without an installed
// catalog every text stands as written.
namespace Translation {

// A catalog answers with the translation of text in a domain, or with text itself.
using TCatalog = std::function<std::string(std::string_view domain, std::string_view text)>;

void InstallCatalog(TCatalog catalog);  // an empty catalog removes the installed one
void RegisterDomain(std::string_view domain);
std::vector<std::string> RegisteredDomains();

}  // namespace Translation

// The translated form of text in domain, or text unchanged.
std::string Translate(std::string_view text, std::string_view domain = "default");

// format translated in domain, with each "%s" or "%d" replaced by the next of args in turn and
// "%%" by "%". The arguments are put in as text, never read by a formatting routine. A
// translation that does not take as many arguments as format is not used: nothing the user
// should see is dropped.
std::string TranslateFormat(std::string_view format, std::initializer_list<std::string_view> args,
                            std::string_view domain = "default");
