// Export macro of the cloud client library (libtessalyclient.so).
#pragma once

#include <QtCore/qglobal.h>

#if defined(TESSALYCLIENT_BUILDING)
#define TESSALYCLIENT_EXPORT Q_DECL_EXPORT
#else
#define TESSALYCLIENT_EXPORT Q_DECL_IMPORT
#endif
