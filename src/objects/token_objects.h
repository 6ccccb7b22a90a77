#pragma once

#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"


namespace vlrp11 {

struct DeviceConnection;

// The object-cache refresh. While nobody or the security officer is logged in, the private token
// objects are dropped from the table. Then, when a user is logged in (private entries) or with
// the public pass on a token (public entries), the device's directory is read and every object
// not yet in the table is loaded: keys as their header, data objects and certificates whole.
// HSM objects are visible only after login. CKR_DEVICE_ERROR when the directory cannot be read;
// an object that fails to load is left out and the others still load.
CK_RV refresh_token_objects(DeviceConnection& connection, ObjectTable& tokenObjects, bool publicPass) noexcept;

}  // namespace vlrp11
