// The namespace and type identifiers of the standards the requests use, and
// the one function that puts them in place of their {TOKEN} in a template.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

struct TNamespaceToken {
  std::string_view Token;
  std::string_view Identifier;
};

inline constexpr TNamespaceToken kNamespaceTokens[] = {
    {"{SOAP12}", "http://www.w3.org/2003/05/soap-envelope"},
    {"{ONVIF-DEVICE}", "http://www.onvif.org/ver10/device/wsdl"},
    {"{ONVIF-MEDIA}", "http://www.onvif.org/ver10/media/wsdl"},
    {"{ONVIF-MEDIA2}", "http://www.onvif.org/ver20/media/wsdl"},
    {"{ONVIF-SCHEMA}", "http://www.onvif.org/ver10/schema"},
    {"{ONVIF-NETWORK}", "http://www.onvif.org/ver10/network/wsdl"},
    {"{WSSE}", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"},
    {"{WSU}", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"},
    {"{WSSE-DIGEST}",
     "http://docs.oasis-open.org/wss/2004/01/"
     "oasis-200401-wss-username-token-profile-1.0#PasswordDigest"},
    {"{WSSE-BASE64}",
     "http://docs.oasis-open.org/wss/2004/01/"
     "oasis-200401-wss-soap-message-security-1.0#Base64Binary"},
    {"{XSD}", "http://www.w3.org/2001/XMLSchema"},
    {"{XSI}", "http://www.w3.org/2001/XMLSchema-instance"},
    {"{WSA-ANONYMOUS}", "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"},
    {"{WSA}", "http://schemas.xmlsoap.org/ws/2004/08/addressing"},
    {"{WSD-PROBE}", "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"},
    {"{WSD-TARGET}", "urn:schemas-xmlsoap-org:ws:2005:04:discovery"},
    {"{WSD}", "http://schemas.xmlsoap.org/ws/2005/04/discovery"},
};

// The template with every {TOKEN} replaced by its identifier.
std::string ExpandNamespaces(std::string_view text);

}  // namespace zorvane
