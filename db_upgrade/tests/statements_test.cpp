// The statement texts: each data file reaches the database statement by statement as its
// GBK text, the texts the program must send exactly, and the shape of the catalogue.
#include "core/statements.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"

namespace tessary::statements {
namespace {

std::string at(const StatementList& list, std::size_t i) {
    return std::string(list[i]);
}

// The statements of a data file as its format defines them: the texts between lines "GO".
std::vector<std::string> statements_of_data_file(const std::string& name) {
    std::ifstream file(std::string(TESSARY_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    std::vector<std::string> found;
    const std::string go = "\nGO\n";
    for (std::size_t start = 0, end; (end = text.find(go, start)) != std::string::npos;
         start = end + go.size()) {
        found.push_back(text.substr(start, end - start));
    }
    return found;
}

TEST(Statements, EachDataFileIsSentStatementByStatementAsItsGbkText) {
    const struct {
        const char* file;
        const StatementList& list;
    } files[] = {
        {"batch_00000000.sql", batch_00000000},
        {"batch_20140722.sql", batch_20140722},
        {"batch_20150825.sql", batch_20150825},
        {"batch_20200117_menus.sql", batch_20200117_menus},
        {"batch_20200117_version.sql", batch_20200117_version},
        {"batch_20200117_grant.sql", batch_20200117_grant},
        {"catalogue_200327.sql", catalogue_200327},
    };
    for (const auto& data : files) {
        SCOPED_TRACE(data.file);
        const std::vector<std::string> expected = statements_of_data_file(data.file);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(data.list.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(host::utf8_to_gbk(expected[i]), at(data.list, i)) << "statement " << i + 1;
            EXPECT_EQ(host::gbk_to_utf8(at(data.list, i)), expected[i]) << "statement " << i + 1;
        }
    }
}

// The texts whose every byte the program must send as it stands (blanks included), and
// the size of the catalogue.
TEST(Statements, TheFixedTextsAreSentExactly) {
    EXPECT_EQ(select_upgrade_date,
              "select isnull ( max ( sys_var_value ) , '00000000' ) from t_sys_system where "
              "sys_var_id ='UPGRADE_DATE' ");
    // 是 in GBK.
    EXPECT_EQ(insert_upgrade_date,
              "insert t_sys_system values ( 'UPGRADE_DATE' , 'UPGRADE_DATE' , '00000000' , "
              "'\xca\xc7' , '' , null , null , null ) ");
    EXPECT_EQ(select_second_database,
              "SELECT Name FROM sysdatabases WHERE Lower ( Name ) ='sorvanth' ");
    EXPECT_EQ(at(batch_20200117_grant, 0),
              "insert t_sys_oper_grant select distinct oper_id , t_sys_menu.menu_id , '1' , '0' , "
              "'0' , '0' , '0' , '0' , '0' , '0' , '0' , '0' , '' from t_sys_oper_grant , "
              "t_sys_menu where t_sys_menu.menu_id not in ( select func_id from t_sys_oper_grant ) "
              "and right ( t_sys_menu.menu_id , 2 ) <> '00' and ltrim ( rtrim ( "
              "t_sys_menu.menu_name ) ) <> '-' and left ( t_sys_menu.menu_id , 1 ) not in ( 'E' , "
              "'F' ) COMMIT ");
    EXPECT_EQ(at(batch_20150825, 8),
              "insert into t_sys_menu values ( '6211' , '储值卡余额查询' , "
              "'w_rm_vip_savingamt_query' , 'BROW' , 'S' , '' , '111100' , '0' , '0' , '0' , "
              "'0' , NULL ) ");
    EXPECT_EQ(at(batch_20200117_menus, 0),
              "insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , "
              "open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values "
              "( '6215' , '微商店管理' , '' , 'BROW' , 'S' , NULL , '110000' , '0' , '0' , '0' , "
              "'0' , NULL ) ");
    ASSERT_EQ(catalogue_200327.size(), 144u);
    EXPECT_EQ(at(catalogue_200327, 142),
              "insert into t_sys_menu values ( '1222' , '批量修改商品信息' , 'w_bd_itempro_batch' "
              ", 'EDIT' , 'S' , null , '110000' , '0' , '0' , '0' , '0' , '' )");
}

// Outside quoted values every comma and parenthesis of a batch's menu insert stands between
// two blanks, and the statement ends in a blank.
TEST(Statements, MenuInsertsOfTheBatchesSpaceEveryCommaAndParenthesis) {
    std::size_t menus = 0;
    for (const StatementList* batch :
         {&batch_00000000, &batch_20140722, &batch_20150825, &batch_20200117_menus}) {
        for (std::string_view statement : *batch) {
            if (statement.rfind("insert into t_sys_menu ", 0) != 0) continue;
            ++menus;
            SCOPED_TRACE(std::string(statement));
            EXPECT_EQ(statement.substr(statement.size() - 3), " ) ");
            bool quoted = false;
            for (std::size_t i = 0; i + 2 < statement.size(); ++i) {
                const char c = statement[i];
                if (c == '\'') quoted = !quoted;
                if (quoted || (c != ',' && c != '(' && c != ')')) continue;
                EXPECT_EQ(statement[i - 1], ' ') << "before byte " << i;
                EXPECT_EQ(statement[i + 1], ' ') << "after byte " << i;
                EXPECT_NE(statement[i + 2], ' ') << "two blanks after byte " << i;
            }
        }
    }
    EXPECT_GT(menus, 0u);
}

// The commas of a text that stand outside parentheses.
std::size_t top_level_commas(const std::string& text) {
    std::size_t commas = 0;
    int depth = 0;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) ++commas;
    }
    return commas;
}

// Every step is a table's creation, its key directly after it, one added column, or the
// one menu insert. Creations write one column a line, after a tab, the lines separated by
// " ,"; every key of the catalogue is clustered.
TEST(Statements, CatalogueStepsHaveTheirShapes) {
    const std::string creation = "CREATE TABLE [dbo].[";
    std::string created;  // the table of the step before, when that step created one
    std::size_t inserts = 0;
    for (std::size_t i = 0; i < catalogue_200327.size(); ++i) {
        const std::string step = at(catalogue_200327, i);
        SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + step);
        std::string table;
        if (step.rfind(creation, 0) == 0) {
            table = step.substr(creation.size(), step.find(']', creation.size()) - creation.size());
            const std::string head = creation + table + "] (\n";
            ASSERT_EQ(step.rfind(head, 0), 0u);
            const std::size_t end = step.rfind(" \n) ON [PRIMARY]");
            ASSERT_NE(end, std::string::npos);
            const std::string tail = step.substr(end);
            EXPECT_TRUE(tail == " \n) ON [PRIMARY]" ||
                        tail == " \n) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]");
            const std::string columns = step.substr(head.size(), end - head.size()) + " ,\n";
            for (std::size_t at = 0, next; at < columns.size(); at = next + 3) {
                next = columns.find(" ,\n", at);
                const std::string column = columns.substr(at, next - at);
                EXPECT_EQ(column.rfind("\t[", 0), 0u) << column;
                EXPECT_EQ(column.find('\n'), std::string::npos) << column;
            }
        } else if (!created.empty() &&
                   step.rfind("ALTER TABLE [dbo].[" + created + "] WITH NOCHECK ADD ", 0) == 0) {
            EXPECT_NE(step.find("PRIMARY KEY  CLUSTERED \n"), std::string::npos);
        } else if (step.rfind("alter table ", 0) == 0) {
            EXPECT_NE(step.find(" add "), std::string::npos);
            EXPECT_EQ(top_level_commas(step), 0u);
        } else {
            ++inserts;
            EXPECT_EQ(step.rfind("insert into t_sys_menu values ( ", 0), 0u);
        }
        created = table;
    }
    EXPECT_EQ(inserts, 1u);
}

}  // namespace
}  // namespace tessary::statements
