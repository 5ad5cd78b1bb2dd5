/*
 * ZQE: the C interface for hosts.
 *
 * A host loads the library (ZQE.dll on Windows, libzqe.so on Linux), calls
 * InitZQE once with the path of the engine definition file and the address
 * of a TZQEInterface record that it owns, and from then on drives the
 * engine through the four callbacks that InitZQE writes into that record.
 *
 * Every record here is laid out for 32-bit hosts byte for byte; on 64-bit
 * targets only the records that hold pointers (TZQEInterface,
 * TZQECheckParams) widen, and TZQEInterface.Size must then be
 * sizeof(TZQEInterface). Text is zero-terminated UTF-16; capacities count
 * the terminator.
 */
#ifndef ZQE_ZQE_H_
#define ZQE_ZQE_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t ZQEChar;
#else
typedef uint16_t ZQEChar;
#endif

/* The Windows API calling convention: arguments pushed right to left and
   removed by the called function. It only exists on 32-bit x86. */
#if defined(__i386__) || defined(_M_IX86)
#if defined(_MSC_VER)
#define ZQE_STDCALL __stdcall
#else
#define ZQE_STDCALL __attribute__((stdcall))
#endif
#else
#define ZQE_STDCALL
#endif

#if defined(__ELF__)
#define ZQE_EXPORT __attribute__((visibility("default")))
#else
#define ZQE_EXPORT /* the DLL's exports come from its .def file */
#endif

#define ZQE_INTERFACE_MAGIC 8919u

/* One search-engine definition, as loaded from the definition file. */
typedef struct TZQSEDef {
  uint32_t len;   /* 5976 */
  uint32_t ver;   /* 1 */
  uint32_t Kind;
  ZQEChar Tag[16];
  int32_t ID;     /* hash of Name */
  int32_t SEType;
  ZQEChar Name[128];
  ZQEChar Title[128];
  ZQEChar url[128];
  ZQEChar surl[512];
  ZQEChar Icon[260];
  ZQEChar HttpUserAgent[512];
  ZQEChar HttpAcceptCharSet[128];
  ZQEChar HttpAcceptLanguage[128];
  int32_t HttpTimeOut;
  ZQEChar Remark[1024];
  uint32_t Reserved1;
  uint32_t Reserved2;
  uint32_t Reserved3;
  uint32_t Reserved4;
  uint32_t Reserved5;
  uint32_t Reserved6;
} TZQSEDef;

/* What a check reads: the selected definitions and the match mode. */
typedef struct TZQECheckParams {
  uint32_t Reserved1;
  uint32_t Reserved2;
  const TZQSEDef* SEDefs; /* SECount consecutive records */
  int32_t SECount;
  uint8_t StrictMatch;
} TZQECheckParams;

/* What a check writes when an engine found the sentence. */
typedef struct TZQECheckResult {
  uint32_t Reserved1;
  uint32_t Reserved2;
  int32_t UserData;
  uint8_t ErrorCode; /* 255 while unknown; 0 match; low byte of the engine's code */
  uint8_t Pad1;
  ZQEChar SEName[128];
  uint8_t Reserved3[6];
  ZQEChar CheckUrl[4098];
  int32_t CheckUrlLen;
  uint8_t Reserved4[32];
  ZQEChar CheckShortURL[4098];
  int32_t CheckShortURLLen;
  ZQEChar CheckRemark[4098];
  int32_t CheckRemarkLen;
  uint32_t Reserved5;
  int64_t MatchMSecs;
  int64_t TotalMSecs;
} TZQECheckResult;

typedef void(ZQE_STDCALL* TZQEGetSEDefArr)(TZQSEDef** ppDefs, int32_t* pCount);
typedef void(ZQE_STDCALL* TZQEUnInit)(void);
typedef uint8_t(ZQE_STDCALL* TZQECheck)(const ZQEChar* szText, const ZQEChar* szFillter,
                                        const TZQECheckParams* lpParams, int32_t nUserData,
                                        TZQECheckResult* lpResult);
typedef void(ZQE_STDCALL* TZQECancelAll)(void);

/* Owned by the host; InitZQE checks Size and Magic and writes the slots. */
typedef struct TZQEInterface {
  uint32_t Size;  /* sizeof(TZQEInterface): 24 in 32-bit processes */
  uint32_t Magic; /* ZQE_INTERFACE_MAGIC */
  TZQEGetSEDefArr GetSEDefArr;
  TZQEUnInit UnInit;
  TZQECheck Check;
  TZQECancelAll CancelAll;
} TZQEInterface;

/* Status codes of InitZQE (Windows error numbers); the calling thread's
   last-error value is set as well. */
#define ZQE_OK 0
#define ZQE_ERROR_INVALID_FUNCTION 1 /* wrong Magic */
#define ZQE_ERROR_BAD_LENGTH 24      /* wrong Size */
#define ZQE_ERROR_INVALID_PARAMETER 87
#define ZQE_ERROR_BAD_CONFIGURATION 1206 /* definition file missing (2) or unreadable (30) */
#define ZQE_ERROR_INIT_INSTANCES 4002
/* The check's last-error value when it is called before InitZQE succeeded
   or after UnInit (it then returns false). */
#define ZQE_ERROR_NOT_READY 21

/* An engine's outcome of one check, and the byte TZQECheckResult.ErrorCode
   holds for it (the low byte of the code). 255 is also the byte a check
   writes before any engine has answered. */
#define ZQE_SE_HIT 0                /* byte 0 */
#define ZQE_SE_NO_HIT 1             /* byte 1 */
#define ZQE_SE_ABORTED (-2)         /* byte 254 */
#define ZQE_SE_FETCH_FAILED (-3)    /* byte 253: fetch error or page without body */
#define ZQE_SE_NOT_PARSEABLE (-4)   /* byte 252 */
#define ZQE_SE_VERIFY_PAGE (-5)     /* byte 251: verification (captcha) or block page */
#define ZQE_SE_PAGE_UNKNOWN (-6)    /* byte 250: result page not recognised */
#define ZQE_SE_UNKNOWN_BYTE 255     /* no engine answered (yet) */

typedef int32_t(ZQE_STDCALL* TInitZQE)(const ZQEChar* ConfigFile, TZQEInterface* Intf);
ZQE_EXPORT int32_t ZQE_STDCALL InitZQE(const ZQEChar* ConfigFile, TZQEInterface* Intf);

#if defined(__ELF__)
/* Linux has no per-thread last-error value of its own: this reads the one
   the engine sets for the calling thread. */
typedef uint32_t (*TZQEGetLastError)(void);
ZQE_EXPORT uint32_t ZQEGetLastError(void);
#endif

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(TZQSEDef) == 5976, "TZQSEDef layout");
static_assert(offsetof(TZQSEDef, Tag) == 12 && offsetof(TZQSEDef, ID) == 44 && offsetof(TZQSEDef, SEType) == 48 &&
                  offsetof(TZQSEDef, Name) == 52 && offsetof(TZQSEDef, Title) == 308 &&
                  offsetof(TZQSEDef, url) == 564 && offsetof(TZQSEDef, surl) == 820 &&
                  offsetof(TZQSEDef, Icon) == 1844 && offsetof(TZQSEDef, HttpUserAgent) == 2364 &&
                  offsetof(TZQSEDef, HttpAcceptCharSet) == 3388 && offsetof(TZQSEDef, HttpAcceptLanguage) == 3644 &&
                  offsetof(TZQSEDef, HttpTimeOut) == 3900 && offsetof(TZQSEDef, Remark) == 3904 &&
                  offsetof(TZQSEDef, Reserved1) == 5952 && offsetof(TZQSEDef, Reserved6) == 5972,
              "TZQSEDef offsets");
static_assert(sizeof(TZQECheckResult) == 24928, "TZQECheckResult layout");
static_assert(offsetof(TZQECheckResult, UserData) == 8 && offsetof(TZQECheckResult, ErrorCode) == 12 &&
                  offsetof(TZQECheckResult, SEName) == 14 && offsetof(TZQECheckResult, Reserved3) == 270 &&
                  offsetof(TZQECheckResult, CheckUrl) == 276 && offsetof(TZQECheckResult, CheckUrlLen) == 8472 &&
                  offsetof(TZQECheckResult, Reserved4) == 8476 && offsetof(TZQECheckResult, CheckShortURL) == 8508 &&
                  offsetof(TZQECheckResult, CheckShortURLLen) == 16704 &&
                  offsetof(TZQECheckResult, CheckRemark) == 16708 &&
                  offsetof(TZQECheckResult, CheckRemarkLen) == 24904 &&
                  offsetof(TZQECheckResult, Reserved5) == 24908 && offsetof(TZQECheckResult, MatchMSecs) == 24912 &&
                  offsetof(TZQECheckResult, TotalMSecs) == 24920,
              "TZQECheckResult offsets");
static_assert(offsetof(TZQECheckParams, SEDefs) == 8, "TZQECheckParams layout");
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(TZQEInterface) == 24 && offsetof(TZQEInterface, GetSEDefArr) == 8 &&
                  offsetof(TZQEInterface, UnInit) == 12 && offsetof(TZQEInterface, Check) == 16 &&
                  offsetof(TZQEInterface, CancelAll) == 20,
              "TZQEInterface layout");
static_assert(offsetof(TZQECheckParams, SECount) == 12 && offsetof(TZQECheckParams, StrictMatch) == 16,
              "TZQECheckParams layout");
#endif
#endif /* __cplusplus */

#endif /* ZQE_ZQE_H_ */
