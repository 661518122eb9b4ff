#include "engine/BseErrs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/BseUtils.h"

namespace vader {
namespace {

// Codes of the BDE error-code set, searched in this order (so 0x2204 is named RECDELETED).
constexpr ErrorNameEntry kErrorNames[] = {
    {0x0000, "NONE"},                    // 14000
    {0x2101, "SYSFILEOPEN"},             // 14001
    {0x2102, "SYSFILEIO"},               // 14002
    {0x2103, "SYSCORRUPT"},              // 14003
    {0x2104, "NOCONFIGFILE"},            // 14004
    {0x2105, "CFGCANNOTWRITE"},          // 14005
    {0x2106, "CFGMULTIFILE"},            // 14006
    {0x2107, "REENTERED"},               // 14007
    {0x2108, "CANTFINDODAPI"},           // 14008
    {0x2109, "CANTLOADODAPI"},           // 14009
    {0x210A, "CANTLOADLIBRARY"},         // 14010
    {0x2201, "BOF"},                     // 14011
    {0x2202, "EOF"},                     // 14012
    {0x2203, "RECMOVED"},                // 14013
    {0x2204, "RECDELETED"},              // 14014
    {0x2204, "KEYORRECDELETED"},         // 14015
    {0x2205, "NOCURRREC"},               // 14016
    {0x2206, "RECNOTFOUND"},             // 14017
    {0x2207, "ENDOFBLOB"},               // 14018
    {0x2208, "OBJNOTFOUND"},             // 14019
    {0x2209, "FMLMEMBERNOTFOUND"},       // 14020
    {0x220A, "BLOBFILEMISSING"},         // 14021
    {0x220B, "LDNOTFOUND"},              // 14022
    {0x2301, "HEADERCORRUPT"},           // 14023
    {0x2302, "FILECORRUPT"},             // 14024
    {0x2303, "MEMOCORRUPT"},             // 14025
    {0x2304, "BMPCORRUPT"},              // 14026
    {0x2305, "INDEXCORRUPT"},            // 14027
    {0x2306, "CORRUPTLOCKFILE"},         // 14028
    {0x2307, "FAMFILEINVALID"},          // 14029
    {0x2308, "VALFILECORRUPT"},          // 14030
    {0x2309, "FOREIGNINDEX"},            // 14031
    {0x2401, "READERR"},                 // 14032
    {0x2402, "WRITEERR"},                // 14033
    {0x2403, "DIRNOACCESS"},             // 14034
    {0x2404, "FILEDELETEFAIL"},          // 14035
    {0x2405, "FILENOACCESS"},            // 14036
    {0x2406, "ACCESSDISABLED"},          // 14037
    {0x2501, "NOMEMORY"},                // 14038
    {0x2502, "NOFILEHANDLES"},           // 14039
    {0x2503, "NODISKSPACE"},             // 14040
    {0x2504, "NOTEMPTBLSPACE"},          // 14041
    {0x2505, "RECTOOBIG"},               // 14042
    {0x2506, "CURSORLIMIT"},             // 14043
    {0x2507, "TABLEFULL"},               // 14044
    {0x2508, "WSSESLIMIT"},              // 14045
    {0x2509, "SERNUMLIMIT"},             // 14046
    {0x250A, "INTERNALLIMIT"},           // 14047
    {0x250B, "OPENTBLLIMIT"},            // 14048
    {0x250C, "TBLCURSORLIMIT"},          // 14049
    {0x250D, "RECLOCKLIMIT"},            // 14050
    {0x250E, "CLIENTSLIMIT"},            // 14051
    {0x250F, "INDEXLIMIT"},              // 14052
    {0x2510, "SESSIONSLIMIT"},           // 14053
    {0x2511, "DBLIMIT"},                 // 14054
    {0x2512, "PASSWORDLIMIT"},           // 14055
    {0x2513, "DRIVERLIMIT"},             // 14056
    {0x2514, "FLDLIMIT"},                // 14057
    {0x2515, "TBLLOCKLIMIT"},            // 14058
    {0x2516, "OPENBLOBLIMIT"},           // 14059
    {0x2517, "LOCKFILELIMIT"},           // 14060
    {0x2518, "OPENQRYLIMIT"},            // 14061
    {0x2519, "THREADLIMIT"},             // 14062
    {0x251A, "BLOBLIMIT"},               // 14063
    {0x2601, "KEYVIOL"},                 // 14064
    {0x2602, "MINVALERR"},               // 14065
    {0x2603, "MAXVALERR"},               // 14066
    {0x2604, "REQDERR"},                 // 14067
    {0x2605, "FORIEGNKEYERR"},           // 14068
    {0x2606, "DETAILRECORDSEXIST"},      // 14069
    {0x2607, "MASTERTBLLEVEL"},          // 14070
    {0x2608, "LOOKUPTABLEERR"},          // 14071
    {0x2609, "LOOKUPTBLOPENERR"},        // 14072
    {0x260A, "DETAILTBLOPENERR"},        // 14073
    {0x260B, "MASTERTBLOPENERR"},        // 14074
    {0x260C, "FIELDISBLANK"},            // 14075
    {0x260D, "MASTEREXISTS"},            // 14076
    {0x260E, "MASTERTBLOPEN"},           // 14077
    {0x260F, "DETAILTABLESEXIST"},       // 14078
    {0x2610, "DETAILRECEXISTEMPTY"},     // 14079
    {0x2611, "MASTERREFERENCEERR"},      // 14080
    {0x2612, "DETAILTBLOPEN"},           // 14081
    {0x2613, "DEPENDENTSMUSTBEEMPTY"},   // 14082
    {0x2614, "RINTREQINDEX"},            // 14083
    {0x2615, "LINKEDTBLPROTECTED"},      // 14084
    {0x2616, "FIELDMULTILINKED"},        // 14085
    {0x2701, "OUTOFRANGE"},              // 14086
    {0x2702, "INVALIDPARAM"},            // 14087
    {0x2703, "INVALIDFILENAME"},         // 14088
    {0x2704, "NOSUCHFILE"},              // 14089
    {0x2705, "INVALIDOPTION"},           // 14090
    {0x2706, "INVALIDHNDL"},             // 14091
    {0x2707, "UNKNOWNTBLTYPE"},          // 14092
    {0x2708, "UNKNOWNFILE"},             // 14093
    {0x2709, "PRIMARYKEYREDEFINE"},      // 14094
    {0x270A, "INVALIDRINTDESCNUM"},      // 14095
    {0x270B, "KEYFLDTYPEMISMATCH"},      // 14096
    {0x270C, "INVALIDMODIFYREQUEST"},    // 14097
    {0x270D, "NOSUCHINDEX"},             // 14098
    {0x270E, "INVALIDBLOBOFFSET"},       // 14099
    {0x270F, "INVALIDDESCNUM"},          // 14100
    {0x2710, "INVALIDFLDTYPE"},          // 14101
    {0x2711, "INVALIDFLDDESC"},          // 14102
    {0x2712, "INVALIDFLDXFORM"},         // 14103
    {0x2713, "INVALIDRECSTRUCT"},        // 14104
    {0x2714, "INVALIDDESC"},             // 14105
    {0x2715, "INVALIDINDEXSTRUCT"},      // 14106
    {0x2716, "INVALIDVCHKSTRUCT"},       // 14107
    {0x2717, "INVALIDRINTSTRUCT"},       // 14108
    {0x2718, "INVALIDRESTRTBLORDER"},    // 14109
    {0x2719, "NAMENOTUNIQUE"},           // 14110
    {0x271A, "INDEXNAMEREQUIRED"},       // 14111
    {0x271B, "INVALIDSESHANDLE"},        // 14112
    {0x271C, "INVALIDRESTROP"},          // 14113
    {0x271D, "UNKNOWNDRIVER"},           // 14114
    {0x271E, "UNKNOWNDB"},               // 14115
    {0x271F, "INVALIDPASSWORD"},         // 14116
    {0x2720, "NOCALLBACK"},              // 14117
    {0x2721, "INVALIDCALLBACKBUFLEN"},   // 14118
    {0x2722, "INVALIDDIR"},              // 14119
    {0x2723, "INVALIDXLATION"},          // 14120
    {0x2724, "DIFFERENTTABLES"},         // 14121
    {0x2725, "INVALIDBOOKMARK"},         // 14122
    {0x2726, "INVALIDINDEXNAME"},        // 14123
    {0x2727, "INVALIDIDXDESC"},          // 14124
    {0x2728, "NOSUCHTABLE"},             // 14125
    {0x2729, "USECOUNT"},                // 14126
    {0x272A, "INVALIDKEY"},              // 14127
    {0x272B, "INDEXEXISTS"},             // 14128
    {0x272C, "INDEXOPEN"},               // 14129
    {0x272D, "INVALIDBLOBLEN"},          // 14130
    {0x272E, "INVALIDBLOBHANDLE"},       // 14131
    {0x272F, "TABLEOPEN"},               // 14132
    {0x2730, "NEEDRESTRUCTURE"},         // 14133
    {0x2731, "INVALIDMODE"},             // 14134
    {0x2732, "CANNOTCLOSE"},             // 14135
    {0x2733, "ACTIVEINDEX"},             // 14136
    {0x2734, "INVALIDUSRPASS"},          // 14137
    {0x2735, "MULTILEVELCASCADE"},       // 14138
    {0x2736, "INVALIDFIELDNAME"},        // 14139
    {0x2737, "INVALIDTABLENAME"},        // 14140
    {0x2738, "INVALIDLINKEXPR"},         // 14141
    {0x2739, "NAMERESERVED"},            // 14142
    {0x273A, "INVALIDFILEEXTN"},         // 14143
    {0x273B, "INVALIDLANGDRV"},          // 14144
    {0x273C, "ALIASNOTOPEN"},            // 14145
    {0x273D, "INCOMPATRECSTRUCTS"},      // 14146
    {0x273E, "RESERVEDOSNAME"},          // 14147
    {0x273F, "DESTMUSTBEINDEXED"},       // 14148
    {0x2740, "INVALIDINDEXTYPE"},        // 14149
    {0x2741, "LANGDRVMISMATCH"},         // 14150
    {0x2742, "NOSUCHFILTER"},            // 14151
    {0x2743, "INVALIDFILTER"},           // 14152
    {0x2744, "INVALIDTABLECREATE"},      // 14153
    {0x2745, "INVALIDTABLEDELETE"},      // 14154
    {0x2746, "INVALIDINDEXCREATE"},      // 14155
    {0x2747, "INVALIDINDEXDELETE"},      // 14156
    {0x2748, "INVALIDTABLE"},            // 14157
    {0x2749, "MULTIRESULTS"},            // 14158
    {0x274A, "INVALIDTIME"},             // 14159
    {0x274B, "INVALIDDATE"},             // 14160
    {0x274C, "INVALIDTIMESTAMP"},        // 14161
    {0x274D, "DIFFERENTPATH"},           // 14162
    {0x274E, "MISMATCHARGS"},            // 14163
    {0x274F, "FUNCTIONNOTFOUND"},        // 14164
    {0x2750, "MUSTUSEBASEORDER"},        // 14165
    {0x2751, "INVALIDPROCEDURENAME"},    // 14166
    {0x2801, "LOCKED"},                  // 14167
    {0x2802, "UNLOCKFAILED"},            // 14168
    {0x2803, "FILEBUSY"},                // 14169
    {0x2804, "DIRBUSY"},                 // 14170
    {0x2805, "FILELOCKED"},              // 14171
    {0x2806, "DIRLOCKED"},               // 14172
    {0x2807, "ALREADYLOCKED"},           // 14173
    {0x2808, "NOTLOCKED"},               // 14174
    {0x2809, "LOCKTIMEOUT"},             // 14175
    {0x280A, "GROUPLOCKED"},             // 14176
    {0x280B, "LOSTTBLLOCK"},             // 14177
    {0x280C, "LOSTEXCLACCESS"},          // 14178
    {0x280D, "NEEDEXCLACCESS"},          // 14179
    {0x280E, "RECGROUPCONFLICT"},        // 14180
    {0x280F, "DEADLOCK"},                // 14181
    {0x2810, "ACTIVETRAN"},              // 14182
    {0x2811, "NOACTIVETRAN"},            // 14183
    {0x2812, "RECLOCKFAILED"},           // 14184
    {0x2813, "OPTRECLOCKFAILED"},        // 14185
    {0x2814, "OPTRECLOCKRECDEL"},        // 14186
    {0x2901, "NOTSUFFFIELDRIGHTS"},      // 14187
    {0x2902, "NOTSUFFTABLERIGHTS"},      // 14188
    {0x2903, "NOTSUFFFAMILYRIGHTS"},     // 14189
    {0x2904, "READONLYDIR"},             // 14190
    {0x2905, "READONLYDB"},              // 14191
    {0x2906, "READONLYFLD"},             // 14192
    {0x2907, "TBLENCRYPTED"},            // 14193
    {0x2908, "NOTSUFFSQLRIGHTS"},        // 14194
    {0x2A01, "NOTABLOB"},                // 14195
    {0x2A02, "BLOBOPENED"},              // 14196
    {0x2A03, "BLOBNOTOPENED"},           // 14197
    {0x2A04, "NA"},                      // 14198
    {0x2A05, "NOTINDEXED"},              // 14199
    {0x2A06, "NOTINITIALIZED"},          // 14200
    {0x2A07, "MULTIPLEINIT"},            // 14201
    {0x2A08, "NOTSAMESESSION"},          // 14202
    {0x2A09, "PDXDRIVERNOTACTIVE"},      // 14203
    {0x2A0A, "DRIVERNOTLOADED"},         // 14204
    {0x2A0B, "TABLEREADONLY"},           // 14205
    {0x2A0C, "NOASSOCINDEX"},            // 14206
    {0x2A0D, "HASOPENCURSORS"},          // 14207
    {0x2A0E, "NOTABLESUPPORT"},          // 14208
    {0x2A0F, "INDEXREADONLY"},           // 14209
    {0x2A10, "NOUNIQUERECS"},            // 14210
    {0x2A11, "NOTCURSESSION"},           // 14211
    {0x2A12, "INVALIDKEYWORD"},          // 14212
    {0x2A13, "CONNECTINUSE"},            // 14213
    {0x2A14, "CONNECTNOTSHARED"},        // 14214
    {0x2B01, "OSEINVFNC"},               // 14215
    {0x2B02, "OSENOENT"},                // 14216
    {0x2B03, "OSENOPATH"},               // 14217
    {0x2B04, "OSEMFILE"},                // 14218
    {0x2B05, "OSEACCES"},                // 14219
    {0x2B06, "OSEBADF"},                 // 14220
    {0x2B07, "OSECONTR"},                // 14221
    {0x2B08, "OSENOMEM"},                // 14222
    {0x2B09, "OSEINVMEM"},               // 14223
    {0x2B0A, "OSEINVENV"},               // 14224
    {0x2B0B, "OSEINVFMT"},               // 14225
    {0x2B0C, "OSEINVACC"},               // 14226
    {0x2B0D, "OSEINVDAT"},               // 14227
    {0x2B0F, "OSENODEV"},                // 14228
    {0x2B10, "OSECURDIR"},               // 14229
    {0x2B11, "OSENOTSAM"},               // 14230
    {0x2B12, "OSENMFILE"},               // 14231
    {0x2B13, "OSEINVAL"},                // 14232
    {0x2B14, "OSE2BIG"},                 // 14233
    {0x2B15, "OSENOEXEC"},               // 14234
    {0x2B16, "OSEXDEV"},                 // 14235
    {0x2B21, "OSEDOM"},                  // 14236
    {0x2B22, "OSERANGE"},                // 14237
    {0x2B23, "OSEEXIST"},                // 14238
    {0x2B27, "OSUNKNOWN"},               // 14239
    {0x2B32, "OSSHAREVIOL"},             // 14240
    {0x2B33, "OSLOCKVIOL"},              // 14241
    {0x2B65, "OSNETERR"},                // 14242
    {0x2B34, "OSINT24FAIL"},             // 14243
    {0x2B35, "OSDRIVENOTREADY"},         // 14244
    {0x2B64, "NOTEXACT"},                // 14245
    {0x2B66, "OSUNKNOWNSRVERR"},         // 14246
    {0x2B67, "SERVERNOMEMORY"},          // 14247
    {0x2B68, "OSALREADYLOCKED"},         // 14248
    {0x2B69, "OSNOTLOCKED"},             // 14249
    {0x2B6A, "NOSERVERSW"},              // 14250
    {0x2C01, "NETINITERR"},              // 14251
    {0x2C02, "NETUSERLIMIT"},            // 14252
    {0x2C03, "NETFILEVERSION"},          // 14253
    {0x2C04, "NETFILELOCKED"},           // 14254
    {0x2C05, "DIRNOTPRIVATE"},           // 14255
    {0x2C06, "NETMULTIPLE"},             // 14256
    {0x2C07, "NETUNKNOWN"},              // 14257
    {0x2C08, "SHAREDFILE"},              // 14258
    {0x2C09, "SHARENOTLOADED"},          // 14259
    {0x2C0A, "NOTONANETWORK"},           // 14260
    {0x2C0B, "SQLCOMMLOST"},             // 14261
    {0x2C0C, "SERVERCOMMLOST"},          // 14262
    {0x3E01, "WRONGDRVNAME"},            // 14263
    {0x3E02, "WRONGSYSVER"},             // 14264
    {0x3E03, "WRONGDRVVER"},             // 14265
    {0x3E04, "WRONGDRVTYPE"},            // 14266
    {0x3E05, "CANNOTLOADDRV"},           // 14267
    {0x3E06, "CANNOTLOADLDDRV"},         // 14268
    {0x3E07, "VENDINITFAIL"},            // 14269
    {0x2E01, "AMBJOASY"},                // 14270
    {0x2E02, "AMBJOSYM"},                // 14271
    {0x2E03, "AMBOUTEX"},                // 14272
    {0x2E04, "AMBOUTPR"},                // 14273
    {0x2E05, "AMBSYMAS"},                // 14274
    {0x2E06, "ASETOPER"},                // 14275
    {0x2E07, "AVENUMDA"},                // 14276
    {0x2E08, "BADEXPR1"},                // 14277
    {0x2E09, "BADFLDOR"},                // 14278
    {0x2E0A, "BADVNAME"},                // 14279
    {0x2E0B, "BITMAPER"},                // 14280
    {0x2E0C, "CALCBADR"},                // 14281
    {0x2E0D, "CALCTYPE"},                // 14282
    {0x2E0E, "CHGTO1TI"},                // 14283
    {0x2E0F, "CHGTOCHG"},                // 14284
    {0x2E10, "CHGTOEXP"},                // 14285
    {0x2E11, "CHGTOINS"},                // 14286
    {0x2E12, "CHGTONEW"},                // 14287
    {0x2E13, "CHGTOVAL"},                // 14288
    {0x2E14, "CHKMRKFI"},                // 14289
    {0x2E15, "CHNAMBIG"},                // 14290
    {0x2E16, "CHUNKERR"},                // 14291
    {0x2E17, "COLUM255"},                // 14292
    {0x2E18, "CONAFTAS"},                // 14293
    {0x2E19, "DEL1TIME"},                // 14294
    {0x2E1A, "DELAMBIG"},                // 14295
    {0x2E1B, "DELFRDEL"},                // 14296
    {0x2E1C, "EGFLDTYP"},                // 14297
    {0x2E1D, "EXAMINOR"},                // 14298
    {0x2E1E, "EXPRTYPS"},                // 14299
    {0x2E1F, "EXTRACOM"},                // 14300
    {0x2E20, "EXTRAORO"},                // 14301
    {0x2E21, "EXTRAQRO"},                // 14302
    {0x2E22, "FIND1ATT"},                // 14303
    {0x2E23, "FINDANST"},                // 14304
    {0x2E24, "GRPNOSET"},                // 14305
    {0x2E25, "GRPSTROW"},                // 14306
    {0x2E26, "IDFINLCO"},                // 14307
    {0x2E27, "IDFPERLI"},                // 14308
    {0x2E28, "INANEXPR"},                // 14309
    {0x2E29, "INS1TIME"},                // 14310
    {0x2E2A, "INSAMBIG"},                // 14311
    {0x2E2B, "INSDELCH"},                // 14312
    {0x2E2C, "INSEXPRR"},                // 14313
    {0x2E2D, "INSTOINS"},                // 14314
    {0x2E2E, "ISARRAY"},                 // 14315
    {0x2E2F, "LABELERR"},                // 14316
    {0x2E30, "LINKCALC"},                // 14317
    {0x2E31, "LNGVNAME"},                // 14318
    {0x2E32, "LONGQURY"},                // 14319
    {0x2E33, "MEMVPROC"},                // 14320
    {0x2E34, "MISNGCOM"},                // 14321
    {0x2E35, "MISNGRPA"},                // 14322
    {0x2E36, "MISSRTQU"},                // 14323
    {0x2E37, "NAMTWICE"},                // 14324
    {0x2E38, "NOCHKMAR"},                // 14325
    {0x2E39, "NODEFOCC"},                // 14326
    {0x2E3A, "NOGROUPS"},                // 14327
    {0x2E3B, "NONSENSE"},                // 14328
    {0x2E3C, "NOPATTER"},                // 14329
    {0x2E3D, "NOSUCHDA"},                // 14330
    {0x2E3E, "NOVALUE"},                 // 14331
    {0x2E3F, "ONLYCONS"},                // 14332
    {0x2E40, "ONLYSETR"},                // 14333
    {0x2E41, "OUTSENS1"},                // 14334
    {0x2E42, "OUTTWIC1"},                // 14335
    {0x2E43, "PAROWCNT"},                // 14336
    {0x2E44, "PERSEPAR"},                // 14337
    {0x2E45, "PROCPLSW"},                // 14338
    {0x2E46, "PWINSRTS"},                // 14339
    {0x2E47, "PWMODRTS"},                // 14340
    {0x2E48, "QBEFLDFOUND"},             // 14341
    {0x2E49, "QBENOFENCE"},              // 14342
    {0x2E4A, "QBENOFENCET"},             // 14343
    {0x2E4B, "QBENOHEADERT"},            // 14344
    {0x2E4C, "QBENOTAB"},                // 14345
    {0x2E4D, "QBENUMCOLS"},              // 14346
    {0x2E4E, "QBEOPENTAB"},              // 14347
    {0x2E4F, "QBETWICE"},                // 14348
    {0x2E50, "QRYNOANSWER"},             // 14349
    {0x2E51, "QRYNOTPREP"},              // 14350
    {0x2E52, "QUAINDEL"},                // 14351
    {0x2E53, "QUAININS"},                // 14352
    {0x2E54, "RAGININS"},                // 14353
    {0x2E55, "RAGINSET"},                // 14354
    {0x2E56, "ROWUSERR"},                // 14355
    {0x2E57, "SETEXPEC"},                // 14356
    {0x2E58, "SETVAMB1"},                // 14357
    {0x2E59, "SETVBAD1"},                // 14358
    {0x2E5A, "SETVDEF1"},                // 14359
    {0x2E5B, "SUMNUMBE"},                // 14360
    {0x2E5C, "TBLISWP3"},                // 14361
    {0x2E5D, "TOKENNOT"},                // 14362
    {0x2E5E, "TWOOUTR1"},                // 14363
    {0x2E5F, "TYPEMISM"},                // 14364
    {0x2E60, "UNRELQ1"},                 // 14365
    {0x2E61, "UNUSEDST"},                // 14366
    {0x2E62, "USEINSDE"},                // 14367
    {0x2E63, "USEOFCHG"},                // 14368
    {0x2E64, "VARMUSTF"},                // 14369
    {0x2E65, "REGISTER"},                // 14370
    {0x2E66, "LONGEXPR"},                // 14371
    {0x2E67, "REFRESH"},                 // 14372
    {0x2E68, "CANCEXCEPT"},              // 14373
    {0x2E69, "DBEXCEPT"},                // 14374
    {0x2E6A, "MEMEXCEPT"},               // 14375
    {0x2E6B, "FATALEXCEPT"},             // 14376
    {0x2E6C, "QRYNIY"},                  // 14377
    {0x2E6D, "BADFORMAT"},               // 14378
    {0x2E6E, "QRYEMPTY"},                // 14379
    {0x2E6F, "NOQRYTOPREP"},             // 14380
    {0x2E70, "BUFFTOOSMALL"},            // 14381
    {0x2E71, "QRYNOTPARSE"},             // 14382
    {0x2E72, "NOTHANDLE"},               // 14383
    {0x2E73, "QRYSYNTERR"},              // 14384
    {0x2E74, "QXFLDCOUNT"},              // 14385
    {0x2E75, "QXFLDSYMNOTFOUND"},        // 14386
    {0x2E76, "QXTBLSYMNOTFOUND"},        // 14387
    {0x2E77, "BLOBTERM"},                // 14388
    {0x2E78, "BLOBERR"},                 // 14389
    {0x2E79, "RESTARTQRY"},              // 14390
    {0x2E7A, "UNKNOWNANSTYPE"},          // 14391
    {0x2E7B, "SQLG_MDIST"},              // 14392
    {0x2E7C, "SQLG_NOARI"},              // 14393
    {0x2E7D, "SQLG_LIKEN"},              // 14394
    {0x2E7E, "SQLG_ALPHO"},              // 14395
    {0x2E7F, "SQLG_DATEO"},              // 14396
    {0x2E80, "SQLG_RELOP"},              // 14397
    {0x2E81, "SQLG_ONLYC"},              // 14398
    {0x2E82, "SQLG_CNTLN"},              // 14399
    {0x2E83, "SQLG_CHINI"},              // 14400
    {0x2E84, "SQLG_UNION"},              // 14401
    {0x2E85, "SQLG_SLFIN"},              // 14402
    {0x2E86, "SQLG_OTJVR"},              // 14403
    {0x2E87, "SQLG_STROW"},              // 14404
    {0x2E88, "SQLG_QUANT"},              // 14405
    {0x2E89, "SQLG_REGSO"},              // 14406
    {0x2E8A, "SQLG_COUNT"},              // 14407
    {0x2E8B, "SQLG_AVERA"},              // 14408
    {0x2E8C, "SQLG_DATEA"},              // 14409
    {0x2E8D, "SQLG_BADPT"},              // 14410
    {0x2E8E, "SQLG_RELPA"},              // 14411
    {0x2E8F, "SQLG_PATRN"},              // 14412
    {0x2E90, "SQLG_FNDSU"},              // 14413
    {0x2E91, "SQLG_IFDCS"},              // 14414
    {0x2E92, "SQLG_IDCCO"},              // 14415
    {0x2E93, "SQLG_ONLYI"},              // 14416
    {0x2E94, "SQLG_SQLDIALECT"},         // 14417
    {0x2E95, "SQLG_NOQUERY"},            // 14418
    {0x2E96, "BLOBGROUP"},               // 14419
    {0x2E97, "QRYNOPROP"},               // 14420
    {0x2E98, "ANSTYPNOTSUP"},            // 14421
    {0x2E99, "ANSALIASNOTSUP"},          // 14422
    {0x2E9A, "INSBLOBREQ"},              // 14423
    {0x2E9B, "CHGUNIQUENDXREQ"},         // 14424
    {0x2E9C, "DELUNIQUENDXREQ"},         // 14425
    {0x2E9D, "SQLNOFULLUPDATE"},         // 14426
    {0x2E9E, "CANTEXECREMOTE"},          // 14427
    {0x2E9F, "UNEXPECTEDEOC"},           // 14428
    {0x2EA0, "SQLPARAMNOTSET"},          // 14429
    {0x2EA1, "QUERYTOOLONG"},            // 14430
    {0x2F01, "INTERFACEVER"},            // 14431
    {0x2F02, "INDEXOUTOFDATE"},          // 14432
    {0x2F03, "OLDVERSION"},              // 14433
    {0x2F04, "VALFILEINVALID"},          // 14434
    {0x2F05, "BLOBVERSION"},             // 14435
    {0x2F06, "ENGQRYMISMATCH"},          // 14436
    {0x2F07, "SERVERVERSION"},           // 14437
    {0x3001, "NOTSUPPORTED"},            // 14438
    {0x3002, "NIY"},                     // 14439
    {0x3003, "TABLESQL"},                // 14440
    {0x3004, "SEARCHCOLREQD"},           // 14441
    {0x3005, "NOMULTCONNECT"},           // 14442
    {0x3101, "INVALIDDBSPEC"},           // 14443
    {0x3102, "UNKNOWNDBTYPE"},           // 14444
    {0x3103, "INVALIDSYSDATA"},          // 14445
    {0x3104, "UNKNOWNNETTYPE"},          // 14446
    {0x3105, "NOTONTHATNET"},            // 14447
    {0x3106, "INVALIDCFGPARAM"},         // 14448
    {0x3201, "OBJIMPLICITLYDROPPED"},    // 14449
    {0x3202, "OBJMAYBETRUNCATED"},       // 14450
    {0x3203, "OBJIMPLICITLYMODIFIED"},   // 14451
    {0x3204, "VALIDATEDATA"},            // 14452
    {0x3205, "VALFIELDMODIFIED"},        // 14453
    {0x3206, "TABLELEVELCHANGED"},       // 14454
    {0x3207, "COPYLINKEDTABLES"},        // 14455
    {0x3208, "OTHERSERVERLOADED"},       // 14456
    {0x3209, "OBJIMPLICITLYTRUNCATED"},  // 14457
    {0x320A, "VCHKMAYNOTBEENFORCED"},    // 14458
    {0x320B, "MULTIPLEUNIQRECS"},        // 14459
    {0x320C, "FIELDMUSTBETRIMMED"},      // 14460
    {0x3301, "FILEEXISTS"},              // 14461
    {0x3302, "BLOBMODIFIED"},            // 14462
    {0x3303, "UNKNOWNSQL"},              // 14463
    {0x3304, "TABLEEXISTS"},             // 14464
    {0x3305, "PDX10TABLE"},              // 14465
    {0x3401, "DIFFSORTORDER"},           // 14466
    {0x3402, "DIRINUSEBYOLDVER"},        // 14467
    {0x3403, "PDX35LDDRIVER"},           // 14468
    {0x2D01, "REQOPTPARAM"},             // 14469
    {0x2D02, "INVALIDOPTPARAM"},         // 14470
};
static_assert(std::size(kErrorNames) == 471);

constexpr std::string_view kErrorPrefix = "DBIERR_";
constexpr std::string_view kGenericFormat = "Vader (BDE) Error %d.";
constexpr size_t kMessageLength = 127;
constexpr size_t kContextLineLength = 127;
constexpr size_t kErrorTextLength = kErrorTextSize - 1;
constexpr int kErrorStringScan = 20;

}  // namespace

EVaderEngineError::EVaderEngineError(uint16_t code) : EAbort(std::string()), code_(code) {}

EVaderEngineError::EVaderEngineError(uint16_t code, std::string_view context)
    : EVaderEngineError(code) {
  SetContext(context);
}

void EVaderEngineError::SetContext(std::string_view context) {
  context_ = std::string(context.substr(0, kMaxContextLength));
}

std::string EVaderEngineError::GetNativeMessage() const { return {}; }

std::string EVaderEngineError::GetMessageFormat() const { return std::string(kGenericFormat); }

void RaiseEngineError(uint16_t code) { throw EVaderEngineError(code); }

void RaiseEngineErrorContext(uint16_t code, std::string_view context) {
  throw EVaderEngineError(code, context);
}

void RaiseEOF() { throw EVaderEOFError(); }

void RaiseBOF() { throw EVaderBOFError(); }

void RaiseNotSupported(int resourceId) {
  throw EVaderEngineError(DBIERR_NOTSUPPORTED, LoadEngineString(resourceId));
}

bool CheckCondition(bool ok, uint16_t code) {
  if (!ok) RaiseEngineError(code);
  return true;
}

std::span<const ErrorNameEntry> ErrorNameTable() { return kErrorNames; }

std::string LoadEngineString(int resourceId) {
  const int index = resourceId - kErrorNameBase;
  if (index < 0 || index >= static_cast<int>(std::size(kErrorNames))) return {};
  return kErrorNames[index].mnemonic;
}

std::string FormatErrorNumber(std::string_view format, long long number) {
  std::string result(format);
  const auto at = result.find("%d");
  if (at != std::string::npos) result.replace(at, 2, std::to_string(number));
  return result;
}

std::string GetErrorName(uint16_t code, size_t maxLen) {
  const auto found = std::find_if(std::begin(kErrorNames), std::end(kErrorNames),
                                  [code](const ErrorNameEntry& e) { return e.code == code; });
  std::string text = found != std::end(kErrorNames) ? std::string(kErrorPrefix) + found->mnemonic
                                                    : FormatErrorNumber(kGenericFormat, code);
  return text.substr(0, maxLen);
}

uint16_t TranslateStatus(const StatusCodePair* pairs, int pairCount, uint16_t status) {
  if (status == 0 || pairCount <= 0 || pairs == nullptr) return status;
  for (int i = 0; i < pairCount; ++i)
    if (pairs[i].status == status) return pairs[i].code;
  return status;
}

TErrorStack::TErrorStack(uint16_t capacity) : capacity_(std::min(capacity, kMaxCapacity)) {}

void TErrorStack::Push(const TErrorEntry& entry) {
  // A stack without room keeps nothing rather than writing past its storage.
  if (capacity_ == 0) return;
  if (!entries_) entries_ = std::make_unique<TErrorEntry[]>(capacity_);
  const uint16_t moved = count_ < capacity_ ? count_ : static_cast<uint16_t>(capacity_ - 1);
  std::memmove(&entries_[1], &entries_[0], moved * sizeof(TErrorEntry));
  entries_[0] = entry;
  if (count_ < capacity_) ++count_;
}

void TErrorStack::PushException(const EVaderEngineError& e) {
  TErrorEntry entry{};
  entry.Code = e.Code();
  std::string message = GetErrorName(e.Code());
  // An unnamed code is described by the exception's format filled with its native status.
  if (message.find(kErrorPrefix) == std::string::npos)
    message = FormatErrorNumber(e.GetMessageFormat(), e.NativeError());
  CopyToBuffer(entry.Message, message.substr(0, kMessageLength));
  entry.NativeError = e.NativeError();
  const std::string native = e.GetNativeMessage();
  if (!native.empty()) CopyToBuffer(entry.NativeMessage, native);
  if (!e.Context().empty())
    CopyToBuffer(entry.Context[0], e.Context().substr(0, kContextLineLength));
  Push(entry);
  position_ = e.StatementPosition();
}

bool TErrorStack::GetEntry(uint16_t index, TErrorEntry& entry) const {
  if (index == 0 || index > count_) return false;
  entry = entries_[index - 1];
  return true;
}

namespace {

void AppendLine(std::string& text, std::string_view line) {
  if (line.empty()) return;
  if (!text.empty()) text += "\r\n";
  text += line;
}

std::string FormatEntry(const TErrorEntry& entry) {
  std::string text;
  if (entry.NativeError != 0) AppendLine(text, BoundedString(entry.NativeMessage));
  if (entry.Code != 0) {
    const std::string message = BoundedString(entry.Message);
    const bool sameAsNative = std::llabs(static_cast<long long>(entry.NativeError)) == entry.Code;
    const std::string line = sameAsNative ? "DBI Error Code = " + message : message;
    AppendLine(text, std::string_view(line).substr(0, kMessageLength));
  }
  for (const auto& context : entry.Context) AppendLine(text, BoundedString(context));
  return text;
}

}  // namespace

uint16_t GetErrorEntry(const TErrorStack& stack, uint16_t index, int32_t& nativeError, char* text) {
  TErrorEntry entry;
  if (!stack.GetEntry(index, entry)) return 0;
  nativeError = entry.NativeError;
  if (text != nullptr)
    CopyBounded(text, kErrorTextSize, FormatEntry(entry).substr(0, kErrorTextLength));
  return entry.Code;
}

uint16_t GetErrorString(const TErrorStack& stack, uint16_t code, char* text) {
  int32_t nativeError = 0;
  for (int index = 1; index <= kErrorStringScan; ++index) {
    if (GetErrorEntry(stack, static_cast<uint16_t>(index), nativeError, text) == code) return 0;
    if (text != nullptr) text[0] = '\0';
  }
  if (text != nullptr) text[0] = '\0';
  return code;
}

uint16_t StatusFromCurrentException(TErrorStack& stack) {
  try {
    throw;
  } catch (const EVaderEngineError& e) {
    stack.Clear();
    stack.PushException(e);
    return e.Code();
  }
}

}  // namespace vader
