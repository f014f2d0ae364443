#pragma once

// Every numbered string of the language tables that the program uses. Code
// names a string only through these constants; a test checks that each of
// them has a text in every shipped table.
#define PELMAR_STRING_IDS(X)                                             \
  X(AboutMenuEntry, 101)                                                 \
  X(EllipsoidFileFailed, 104)                                            \
  X(InputNotOpened, 119)                                                 \
  X(OutputNotCreated, 120)                                               \
  X(SourceUnreadable, 133)                                               \
  X(TargetUnreadable, 134)                                               \
  X(TooFewIdenticalPoints, 135)                                          \
  X(NoPointsRead, 136)                                                   \
  X(ReportNotCreated, 137)                                               \
  X(NoComputationChosen, 138)                                            \
  X(NoReportName, 139)                                                   \
  X(NoSourceName, 140)                                                   \
  X(NoTargetName, 141)                                                   \
  X(EstimationDone, 142)                                                 \
  X(EstimationFailed, 143)                                               \
  X(DeleteEllipsoidQuestion, 106)                                        \
  X(EllipsoidNameMissing, 107)                                           \
  X(SaveSettingsQuestion, 118)                                           \
  X(HeaderFileFailed, 165)                                               \
  X(ProgramEnds, 167)                                                    \
  X(ProjectionLibraryMissing, 169)                                       \
  X(EllipsoidLibraryMissing, 171)                                        \
  X(RestartForLanguage, 194)                                             \
  X(EditorNotStarted, 216)                                               \
  X(TabConversion, 221)                                                  \
  X(TabGeodeticProblems, 222)                                            \
  X(TabEstimation, 223)                                                  \
  X(TabStoredTransformations, 224)                                       \
  X(TabNtv2, 225)                                                        \
  X(TabSettings, 226)                                                    \
  X(ListSimilarity, 236)                                                 \
  X(ListAffine, 237)                                                     \
  X(ListHelmert, 238)                                                    \
  X(ListHelmertL1, 239)                                                  \
  X(ListEllipsoidal, 240)                                                \
  X(TitleSimilarity, 241)                                                \
  X(ReportBanner1, 242)                                                  \
  X(ReportBanner2, 243)                                                  \
  X(ReportBanner3, 245)                                                  \
  X(ReportBanner4, 246)                                                  \
  X(ReportDateFormat, 247)                                               \
  X(SectionOptions, 248)                                                 \
  X(MethodL1, 249)                                                       \
  X(MethodLeastSquares, 250)                                             \
  X(MethodLine, 251)                                                     \
  X(OutputLabel, 252)                                                    \
  X(IdenticalWritten, 253)                                               \
  X(IdenticalNotWritten, 254)                                            \
  X(IdenticalLine, 255)                                                  \
  X(SectionSourcePoints, 256)                                            \
  X(ColumnPoint, 257)                                                    \
  X(SectionTargetPoints, 258)                                            \
  X(SectionSourceCentroid, 259)                                          \
  X(SectionTargetCentroid, 260)                                          \
  X(SectionParametersCentred, 261)                                       \
  X(SectionParameters, 262)                                              \
  X(PassCount, 263)                                                      \
  X(SectionResiduals, 264)                                               \
  X(SectionGrossErrors, 276)                                             \
  X(ColumnTestValue, 277)                                                \
  X(ColumnQuantile, 278)                                                 \
  X(ColumnVerdict, 279)                                                  \
  X(VerdictGrossError, 280)                                              \
  X(VerdictAccepted, 281)                                                \
  X(TestLine, 282)                                                       \
  X(SectionTransformed, 283)                                             \
  X(TitleSpatial, 284)                                                   \
  X(GroupsLine, 285)                                                     \
  X(GroupRotations, 286)                                                 \
  X(GroupTranslations, 287)                                              \
  X(GroupScale, 288)                                                     \
  X(ProgressOuterInner, 289)                                             \
  X(ProgressOuter, 290)                                                  \
  X(SpatialScale, 291)                                                   \
  X(SpatialRotation1, 292)                                               \
  X(SpatialRotation2, 293)                                               \
  X(SpatialRotation3, 294)                                               \
  X(SpatialTranslation1, 295)                                            \
  X(SpatialTranslation2, 296)                                            \
  X(SpatialTranslation3, 297)                                            \
  X(InnerPassCount, 298)                                                 \
  X(OuterPassCount, 299)                                                 \
  X(TitleRigorous, 300)                                                  \
  X(SpatialTestLine, 314)                                                \
  X(TitleLinearised, 343)                                                \
  X(FilterPointFiles, 345)                                               \
  X(FilterReports, 354)                                                  \
  X(TitleChooseReport, 356)                                              \
  X(TitleChooseSource, 357)                                              \
  X(TitleChooseTarget, 358)                                              \
  X(TitleChooseOutput, 359)                                              \
  X(TitleAffine, 363)                                                    \
  X(ParamScale, 364)                                                     \
  X(ParamRotation, 365)                                                  \
  X(ParamTY, 366)                                                        \
  X(ParamTX, 367)                                                        \
  X(AffineRotation, 368)                                                 \
  X(AffineScaleY, 369)                                                   \
  X(AffineShear, 370)                                                    \
  X(AffineScaleX, 371)                                                   \
  X(AffineTY, 372)                                                       \
  X(AffineTX, 373)                                                       \
  X(ListHeading, 386)                                                    \
  X(EditorFilter, 361)                                                   \
  X(EditorTitle, 362)                                                    \
  X(ConfigFolderFailed, 387)                                             \
  X(ManualMissing, 389)                                                  \
  X(NoWriteAccess, 390)                                                  \
  /* main window and shared dialogs */                                   \
  X(LinkManual, 1001)                                                    \
  X(LinkAbout, 1002)                                                     \
  X(ButtonClose, 1003)                                                   \
  X(MenuHelp, 1004)                                                      \
  X(AboutVersion, 1005)                                                  \
  X(AboutDescription, 1006)                                              \
  X(AboutContact, 1007)                                                  \
  X(FilterAllFiles, 1008)                                                \
  X(FileViewerTitle, 1009)                                               \
  X(FileCannotBeOpened, 1010)                                            \
  X(SettingsNotWritten, 1011)                                            \
  X(ButtonOk, 1012)                                                      \
  X(ButtonCancel, 1013)                                                  \
  X(MenuManual, 1014)                                                    \
  /* settings page */                                                    \
  X(GroupOutput, 1100)                                                   \
  X(LabelDecimalsGeographic, 1101)                                       \
  X(LabelDecimalsCartesian, 1102)                                        \
  X(LabelFormatGeographic, 1103)                                         \
  X(FormatDecimalDegrees, 1104)                                          \
  X(FormatDms, 1105)                                                     \
  X(LabelFormatUtm, 1106)                                                \
  X(FormatUtmZone, 1107)                                                 \
  X(FormatUtmPlain, 1108)                                                \
  X(GroupEllipsoid, 1110)                                                \
  X(ButtonNew, 1111)                                                     \
  X(ButtonChange, 1112)                                                  \
  X(ButtonDelete, 1113)                                                  \
  X(GroupEditor, 1115)                                                   \
  X(ButtonChoose, 1116)                                                  \
  X(GroupReportHeader, 1120)                                             \
  X(CheckUserHeader, 1121)                                               \
  X(ButtonEditHeader, 1122)                                              \
  X(CheckIncludeDate, 1123)                                              \
  X(GroupDistribution, 1125)                                             \
  X(CheckDistribute, 1126)                                               \
  X(LabelWeighting, 1127)                                                \
  X(WeightInverseDistance, 1128)                                         \
  X(WeightInverseSquare, 1129)                                           \
  X(WeightExponential, 1130)                                             \
  X(LabelDistanceConstant, 1131)                                         \
  X(UnitMetres, 1132)                                                    \
  X(GroupLanguage, 1135)                                                 \
  X(ButtonSave, 1136)                                                    \
  X(ButtonReset, 1137)                                                   \
  X(HeaderDialogTitle, 1138)                                             \
  /* ellipsoid dialog */                                                 \
  X(EllipsoidDialogTitle, 1150)                                          \
  X(LabelName, 1151)                                                     \
  X(LabelSemiMajorAxis, 1152)                                            \
  X(SecondSemiMinorAxis, 1153)                                           \
  X(SecondEccentricity, 1154)                                            \
  X(SecondFlattening, 1155)                                              \
  /* estimation page */                                                  \
  X(LabelReportFile, 1300)                                               \
  X(LabelSourceFile, 1301)                                               \
  X(LabelTargetFile, 1302)                                               \
  X(LabelOutputFile, 1303)                                               \
  X(ButtonView, 1305)                                                    \
  X(ButtonShow, 1306)                                                    \
  X(ButtonCompute, 1307)                                                 \
  X(Options2DTitle, 1310)                                                \
  X(OptionL1, 1311)                                                      \
  X(OptionLeastSquares, 1312)                                            \
  X(OptionCenter, 1313)                                                  \
  X(OptionWriteIdentical, 1314)                                          \
  X(GroupMethod, 1315)                                                   \
  X(Options3DTitle, 1316)                                                \
  X(GroupParameters, 1317)                                               \
  X(OptionRotations, 1318)                                               \
  X(OptionScale, 1319)                                                   \
  X(OptionTranslations, 1320)                                            \
  X(OptionSaveParams, 1321)                                              \
  X(OptionSavePointInfo, 1322)                                           \
  /* command line */                                                     \
  X(EllipsoidNotFound, 1201)                                             \
  X(EllipsoidNameTaken, 1202)                                            \
  X(EllipsoidAxesInvalid, 1203)

namespace pelmar::str {

#define PELMAR_STRING_ID_ENUM(name, id) name = id,
enum Id : int { PELMAR_STRING_IDS(PELMAR_STRING_ID_ENUM) };
#undef PELMAR_STRING_ID_ENUM

#define PELMAR_STRING_ID_VALUE(name, id) id,
inline constexpr int kAll[] = {PELMAR_STRING_IDS(PELMAR_STRING_ID_VALUE)};
#undef PELMAR_STRING_ID_VALUE

}  // namespace pelmar::str
