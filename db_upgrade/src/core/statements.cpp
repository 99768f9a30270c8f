#include "statements.h"

#include "text.h"

namespace tessary::statements {

const std::string_view select_upgrade_date =
    "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where sys_var_id "
    "='UPGRADE_DATE' ";
const std::string_view insert_upgrade_date =
    "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , '是' , '' , "
    "null , null , null ) ";
const std::string_view select_second_database =
    "SELECT Name FROM sysdatabases WHERE Lower ( Name ) ='sorvanth' ";
const std::string_view select_database_version =
    "select sys_var_value from t_sys_system where sys_var_id = 'DataBase_Version'";

const std::string_view take_run_lock =
    "declare @result int exec @result = master.sys.sp_getapplock @Resource = 'tessary-upgrade' , "
    "@LockMode = 'Exclusive' , @LockOwner = 'Session' , @LockTimeout = 0 select @result";
const std::string_view release_run_lock =
    "declare @result int exec @result = master.sys.sp_releaseapplock @Resource = "
    "'tessary-upgrade' , @LockOwner = 'Session' select @result";

std::string use_database(std::string_view name) {
    // The server reads characters: the second byte of a GBK character is no "]".
    std::string statement = "use [";
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = text::character_length(name, at);
        statement.append(name.substr(at, length));
        if (length == 1 && name[at] == ']') statement += ']';
        at += length;
    }
    return statement + "]";
}

}  // namespace tessary::statements
