CREATE TABLE [dbo].[t_cm_sys_oper_grant] (
	[oper_id] [char] (4) COLLATE Chinese_PRC_CI_AS NOT NULL ,
	[func_id] [char] (4) COLLATE Chinese_PRC_CI_AS NOT NULL ,
	[grant0] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant1] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant2] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant3] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant4] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant5] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant6] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant7] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant8] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[grant9] [char] (1) COLLATE Chinese_PRC_CI_AS NULL ,
	[other] [varchar] (20) COLLATE Chinese_PRC_CI_AS NULL 
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_cm_sys_oper_grant] WITH NOCHECK ADD CONSTRAINT [pk_t_cm_sys_oper_grant] PRIMARY KEY CLUSTERED ( [oper_id], [func_id] ) ON [PRIMARY]
GO
ALTER TABLE [dbo].[t_cm_sys_oper_grant] ADD 
	CONSTRAINT [DF__t_cm_sys_oper_grant__0F78F03F] DEFAULT ('0') FOR [grant0],
	CONSTRAINT [DF__t_cm_sys_oper_grant__106D1478] DEFAULT ('0') FOR [grant1],
	CONSTRAINT [DF__t_cm_sys_oper_grant__116138B1] DEFAULT ('0') FOR [grant2],
	CONSTRAINT [DF__t_cm_sys_oper_grant__12555CEA] DEFAULT ('0') FOR [grant3],
	CONSTRAINT [DF__t_cm_sys_oper_grant__13498123] DEFAULT ('0') FOR [grant4],
	CONSTRAINT [DF__t_cm_sys_oper_grant__143DA55C] DEFAULT ('0') FOR [grant5],
	CONSTRAINT [DF__t_cm_sys_oper_grant__1531C995] DEFAULT ('0') FOR [grant6],
	CONSTRAINT [DF__t_cm_sys_oper_grant__1625EDCE] DEFAULT ('0') FOR [grant7],
	CONSTRAINT [DF__t_cm_sys_oper_grant__171A1207] DEFAULT ('0') FOR [grant8],
	CONSTRAINT [DF__t_cm_sys_oper_grant__180E3640] DEFAULT ('0') FOR [grant9]
GO
update t_sys_system set sys_var_value ='20140722' where sys_var_id ='UPGRADE_DATE' 
GO
update t_sys_system set sys_var_value ='V8 20140722' where sys_var_id ='DataBase_Version' 
GO
