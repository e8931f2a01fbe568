// Names that travel in PluginMessage::target and ::subCommand.
#ifndef KELDRA_NAMES_H_
#define KELDRA_NAMES_H_

namespace keldra::names {

// Commands the keldra module answers, in the order the dispatcher compares them.
inline constexpr char kDoScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
inline constexpr char kGetBackupList[] = "LIBMODEL_KELDRA_GET_ITUNES_BACKUP_LIST";
inline constexpr char kAddOneBackup[] = "LIBMODEL_KELDRA_ADD_ONE_ITUNES_BACKUP";
inline constexpr char kQueryNoteList[] = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
inline constexpr char kQueryRecordingList[] = "LIBMODEL_KELDRA_QUERY_RECORDING_LIST";
inline constexpr char kExportEncryptFile[] = "LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE";
inline constexpr char kUnlockWithPassword[] = "LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD";
inline constexpr char kQueryManifestDbSupport[] = "LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE";
inline constexpr char kQueryWhatsAppMediaItem[] = "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM";

inline constexpr char kKeldraPrefix[] = "LIBMODEL_KELDRA_";
inline constexpr char kVexaPrefix[] = "LIBMODEL_VEXA_";
inline constexpr char kPlatformPrefix[] = "LIBPLATFORM_";

// Envelope of every result and status message, and target of platform requests.
inline constexpr char kCommandReceive[] = "LIBMODEL_PLUGIN_COMMAND_RECEIVE";
inline constexpr char kSendResult[] = "LIBMODEL_PLUGIN_SEND_RESULT";

// Requests answered by the host platform (subCommand).
inline constexpr char kGetProjectTempDir[] = "LIBPLATFORM_GET_PROJECT_TEMP_DIR";
inline constexpr char kDecompressZipStream[] = "LIBPLATFORM_DECOMPRESS_ZIP_STREAM";
inline constexpr char kSmsQueryConversationList[] = "LIBPLATFORM_SMS_QUERY_CONVERSATION_LIST";
inline constexpr char kPhotoQueryCameraRollList[] = "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST";
inline constexpr char kPhotoQueryAlbumList[] = "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST";
inline constexpr char kPhotoQueryPhotoFromAlbum[] = "LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM";
inline constexpr char kRecordingQueryList[] = "LIBPLATFORM_RECORDING_QUERY_LIST";

// Requests answered by the decrypt module (target).
inline constexpr char kVexaUnlockWithPassword[] = "LIBMODEL_VEXA_UNLOCK_WITH_PASSWORD";
inline constexpr char kVexaDecryptManifest[] = "LIBMODEL_VEXA_DECRYPT_MANIFEST";
inline constexpr char kVexaDecryptFile[] = "LIBMODEL_VEXA_DECRYPT_FILE";

}  // namespace keldra::names

#endif  // KELDRA_NAMES_H_
