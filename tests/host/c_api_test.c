/* The interface header compiled as C, with the records' layout checked by a
   C compiler, and a host's whole calling sequence written in C (the one the
   README shows). The C++ host test supplies the loaded InitZQE. */
#include <stdlib.h>
#include <string.h>

#include "zqe/zqe.h"

_Static_assert(sizeof(TZQSEDef) == 5976, "TZQSEDef size");
_Static_assert(offsetof(TZQSEDef, ID) == 44 && offsetof(TZQSEDef, Name) == 52 && offsetof(TZQSEDef, surl) == 820 &&
                   offsetof(TZQSEDef, HttpTimeOut) == 3900 && offsetof(TZQSEDef, Reserved6) == 5972,
               "TZQSEDef offsets");
_Static_assert(sizeof(TZQECheckResult) == 24928, "TZQECheckResult size");
_Static_assert(offsetof(TZQECheckResult, UserData) == 8 && offsetof(TZQECheckResult, ErrorCode) == 12 &&
                   offsetof(TZQECheckResult, SEName) == 14 && offsetof(TZQECheckResult, CheckUrl) == 276 &&
                   offsetof(TZQECheckResult, CheckUrlLen) == 8472 && offsetof(TZQECheckResult, CheckShortURL) == 8508 &&
                   offsetof(TZQECheckResult, CheckRemark) == 16708 &&
                   offsetof(TZQECheckResult, CheckRemarkLen) == 24904 &&
                   offsetof(TZQECheckResult, MatchMSecs) == 24912 && offsetof(TZQECheckResult, TotalMSecs) == 24920,
               "TZQECheckResult offsets");
_Static_assert(offsetof(TZQECheckParams, SEDefs) == 8, "TZQECheckParams layout");
#if defined(__i386__) || defined(_M_IX86)
_Static_assert(sizeof(TZQEInterface) == 24 && offsetof(TZQEInterface, CancelAll) == 20, "TZQEInterface layout");
_Static_assert(offsetof(TZQECheckParams, SECount) == 12 && offsetof(TZQECheckParams, StrictMatch) == 16,
               "TZQECheckParams layout");
#endif

/* Init, read the definitions back, check one sentence against the first
   two engines, cancel, shut down. 0 and the record filled, or the number
   of the step that failed. */
int ZqeCHostSequence(TInitZQE init, const ZQEChar* definitions, const ZQEChar* sentence, TZQECheckResult* result,
                     uint8_t* found) {
  TZQEInterface intf;
  memset(&intf, 0, sizeof intf);
  intf.Size = sizeof intf;
  intf.Magic = ZQE_INTERFACE_MAGIC;
  if (init(definitions, &intf) != ZQE_OK) return 1;

  int32_t count = 0;
  intf.GetSEDefArr(NULL, &count);
  if (count < 2) return 2;
  TZQSEDef* defs = (TZQSEDef*)calloc((size_t)count, sizeof(TZQSEDef));
  if (!defs) return 3;
  intf.GetSEDefArr(&defs, &count);

  TZQECheckParams params;
  memset(&params, 0, sizeof params);
  params.SEDefs = defs;
  params.SECount = 2;
  params.StrictMatch = 0;
  memset(result, 0, sizeof *result);
  *found = intf.Check(sentence, NULL, &params, 42, result);

  intf.CancelAll();
  intf.UnInit();
  free(defs);
  return 0;
}
